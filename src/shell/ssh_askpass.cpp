#include "shell/ssh_askpass.h"

#include "base/message_style.h"
#include "shell/platform.h"

namespace {

bool askedYes(Platform& platform, const QString& prompt) {
    return platform.messageBox(nullptr, prompt, MsgStyle::QuestionYesNoNoDefault) == Answer::Yes;
}

} // namespace

AskPassAnswer answerSshPrompt(Platform& platform, const QString& prompt, const QByteArray& kind) {
    const QString shown = prompt.trimmed();
    if (kind == "none") {
        platform.messageBox(nullptr, shown, MsgStyle::Information);
        return {};
    }
    if (kind == "confirm")
        return {askedYes(platform, shown) ? 0 : 1, {}};
    // An unknown host key: ssh takes only the words, and No is the default.
    if (shown.contains(QLatin1String("(yes/no")))
        return {0, askedYes(platform, shown) ? "yes\n" : "no\n"};
    const std::optional<QString> secret = platform.askSecret(shown);
    if (!secret)
        return {1, {}};
    return {0, secret->toUtf8() + '\n'};
}
