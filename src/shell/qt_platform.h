#pragma once

#include "shell/platform.h"

// The desktop as Qt reaches it.
class QtPlatform : public Platform {
public:
    int messageBox(QWidget* owner, const QString& text, int style) override;
    void beep() override;
    void showList(QWidget* owner, const QString& text, const QStringList& lines,
                  int style) override;
    QString browseForFolder(QWidget* owner, const QString& initialFolder,
                            const QString& title) override;
    bool openDefault(const QByteArray& path) override;
    bool showProperties(QWidget* owner, const QByteArray& path) override;
    bool openUrl(QWidget* owner, const QString& url) override;
    bool startProgram(const QString& path) override;
    QString startCommand(const QList<QByteArray>& arguments) override;
    int showModal(QDialog& dialog) override;
    std::optional<QStringList> customizeToolbar(QWidget* owner,
                                                const QList<ToolbarButtonInfo>& available,
                                                const QStringList& current,
                                                const QStringList& defaults) override;
    void startDrag(QWidget* source, const QString& paneName) override;
    QByteArray saveFileName(QWidget* owner, const QByteArray& initialPath,
                            const QString& title) override;
    std::optional<QString> askSecret(const QString& prompt) override;
};
