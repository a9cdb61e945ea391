#include "support/scripted_platform.h"

#include "core/message_style.h"

int ScriptedPlatform::messageBox(QWidget*, const QString& text, int style) {
    shown.append({text, style});
    if (!answers.empty()) {
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    const std::vector<int> offered = decodeMessageStyle(style).answers();
    for (int a : offered) {
        if (a == Answer::No)
            return a;
    }
    return offered.front();
}

QString ScriptedPlatform::browseForFolder(QWidget*, const QString& initialFolder,
                                          const QString& title) {
    browsed.append({initialFolder, title});
    if (folders.empty())
        return {};
    QString folder = folders.front();
    folders.pop_front();
    return folder;
}

bool ScriptedPlatform::openDefault(const QByteArray& path) {
    opened << path;
    return openSucceeds;
}

bool ScriptedPlatform::showProperties(QWidget*, const QByteArray& path) {
    properties << path;
    return propertiesSucceed;
}

bool ScriptedPlatform::openUrl(const QString& url) {
    urls << url;
    return true;
}

bool ScriptedPlatform::startProgram(const QString& path) {
    programs << path;
    return true;
}

std::optional<QStringList> ScriptedPlatform::customizeToolbar(QWidget*,
                                                              const QList<ToolbarButtonInfo>&,
                                                              const QStringList& current,
                                                              const QStringList&) {
    toolbarShown.append(current);
    if (toolbarArrangements.empty())
        return std::nullopt;
    const QStringList arrangement = toolbarArrangements.front();
    toolbarArrangements.pop_front();
    return arrangement;
}
