#pragma once

#include <QDialog>

class Platform;
class QLabel;
class QPushButton;

// The About box: the program's icon, title, version, maker and notices, and a
// button that starts the desktop's system-information program.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    // `owner` is the main window, whose icon the box shows.
    frmAbout(Platform& platform, QWidget* owner);

    QLabel* picIcon() const { return m_picIcon; }
    QLabel* lblTitle() const { return m_lblTitle; }
    QLabel* lblVersion() const { return m_lblVersion; }
    QLabel* lblDescription() const { return m_lblDescription; }
    QLabel* lblDisclaimer() const { return m_lblDisclaimer; }
    QPushButton* cmdOK() const { return m_cmdOK; }
    QPushButton* cmdSysInfo() const { return m_cmdSysInfo; }

    void Form_Load();
    void cmdOK_Click();
    void cmdSysInfo_Click();

private:
    void buildControls();

    Platform& m_platform;
    QLabel* m_picIcon = nullptr;
    QLabel* m_lblTitle = nullptr;
    QLabel* m_lblVersion = nullptr;
    QLabel* m_lblDescription = nullptr;
    QLabel* m_lblDisclaimer = nullptr;
    QPushButton* m_cmdOK = nullptr;
    QPushButton* m_cmdSysInfo = nullptr;
};
