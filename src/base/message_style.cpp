#include "base/message_style.h"

std::vector<int> MessageStyle::answers() const {
    switch (buttons) {
    case Buttons::OkCancel:
        return {Answer::Ok, Answer::Cancel};
    case Buttons::YesNoCancel:
        return {Answer::Yes, Answer::No, Answer::Cancel};
    case Buttons::YesNo:
        return {Answer::Yes, Answer::No};
    case Buttons::YesNoToAll:
        return {Answer::Yes, Answer::YesToAll, Answer::No, Answer::NoToAll, Answer::Cancel};
    case Buttons::Ok:
        break;
    }
    return {Answer::Ok};
}

MessageStyle decodeMessageStyle(int style) {
    MessageStyle s;
    switch (style & 0x0F) {
    case 1:
        s.buttons = MessageStyle::Buttons::OkCancel;
        break;
    case 3:
        s.buttons = MessageStyle::Buttons::YesNoCancel;
        break;
    case 4:
        s.buttons = MessageStyle::Buttons::YesNo;
        break;
    case 7:
        s.buttons = MessageStyle::Buttons::YesNoToAll;
        break;
    default:
        s.buttons = MessageStyle::Buttons::Ok;
    }
    switch (style & 0xF0) {
    case 16:
        s.icon = MessageStyle::Icon::Critical;
        break;
    case 32:
        s.icon = MessageStyle::Icon::Question;
        break;
    case 48:
        s.icon = MessageStyle::Icon::Warning;
        break;
    case 64:
        s.icon = MessageStyle::Icon::Information;
        break;
    default:
        s.icon = MessageStyle::Icon::None;
    }
    const int wanted = (style & 0xF00) >> 8;
    s.defaultButton = wanted < static_cast<int>(s.answers().size()) ? wanted : 0;
    return s;
}

QString unexpectedErrorText(int number, const QString& description) {
    return QStringLiteral("An unexpected error has occurred.\n\nError %1: %2\r\r"
                          "If this problem persists, contact the software vendor.")
        .arg(number)
        .arg(description);
}
