#pragma once

#include "fs/filter_settings.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabBar;

// The Options dialog: the icon option and the diff program, the listing
// filters, on two pages.
// It edits the window's settings only on OK, and answers through the window's
// tag: OK sets it to "Refresh"; Cancel, Esc and the close button leave it.
class Options : public QDialog {
    Q_OBJECT
public:
    Options(FilterSettings& settings, QString& tag, QWidget* parent = nullptr);

    QTabBar* tsOptions() const { return m_tsOptions; }
    QWidget* picGeneral() const { return m_picGeneral; }
    QWidget* picView() const { return m_picView; }
    QCheckBox* chkIcons() const { return m_chkIcons; }
    QLineEdit* txtFileTypes() const { return m_txtFileTypes; }
    QLineEdit* txtDiffProgram() const { return m_txtDiffProgram; }
    QLineEdit* txtExcludeNames() const { return m_txtExcludeNames; }
    QCheckBox* chkArchive() const { return m_chkArchive; }
    QCheckBox* chkReadOnly() const { return m_chkReadOnly; }
    QCheckBox* chkHidden() const { return m_chkHidden; }
    QCheckBox* chkSystem() const { return m_chkSystem; }
    QSpinBox* spnTolerance() const { return m_spnTolerance; }
    QCheckBox* chkHourShift() const { return m_chkHourShift; }
    QPushButton* cmdOK() const { return m_cmdOK; }
    QPushButton* cmdCancel() const { return m_cmdCancel; }

    void Form_Load();
    void tsOptions_Click();
    void cmdOK_Click();
    void cmdCancel_Click();

private:
    void buildControls();

    FilterSettings& m_settings;
    QString& m_tag;
    QTabBar* m_tsOptions = nullptr;
    QWidget* m_picGeneral = nullptr;
    QWidget* m_picView = nullptr;
    QCheckBox* m_chkIcons = nullptr;
    QCheckBox* m_chkTrash = nullptr;
    QSpinBox* m_spnTolerance = nullptr;
    QCheckBox* m_chkHourShift = nullptr;
    QLabel* m_lblFileType = nullptr;
    QLineEdit* m_txtFileTypes = nullptr;
    QLineEdit* m_txtDiffProgram = nullptr;
    QLineEdit* m_txtExcludeNames = nullptr;
    QGroupBox* m_frmAttributes = nullptr;
    QCheckBox* m_chkSystem = nullptr;
    QCheckBox* m_chkHidden = nullptr;
    QCheckBox* m_chkReadOnly = nullptr;
    QCheckBox* m_chkArchive = nullptr;
    QPushButton* m_cmdOK = nullptr;
    QPushButton* m_cmdCancel = nullptr;
};
