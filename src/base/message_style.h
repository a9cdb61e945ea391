#pragma once

#include <QString>
#include <vector>

// The answers a message box gives back.
namespace Answer {
constexpr int Ok = 1;
constexpr int Cancel = 2;
constexpr int Yes = 6;
constexpr int No = 7;
constexpr int YesToAll = 12;
constexpr int NoToAll = 13;
} // namespace Answer

// The style values of the program's message boxes.
namespace MsgStyle {
constexpr int Critical = 16;                // OK, critical icon
constexpr int CriticalOkCancel = 17;        // OK and Cancel, critical icon, OK the default
constexpr int QuestionYesNoCancel = 35;     // Yes, No and Cancel, question icon, Yes the default
constexpr int QuestionYesNo = 36;           // Yes and No, question icon, Yes the default
constexpr int QuestionYesNoNoDefault = 292; // the same with No the default
// Yes, Yes to All, No, No to All and Cancel, question icon, Yes the default:
// the overwrite question when more files follow.
constexpr int QuestionYesNoToAll = 39;
constexpr int Information = 64; // OK, information icon
} // namespace MsgStyle

// A style value taken apart: which buttons, which icon, which default.
struct MessageStyle {
    enum class Buttons { Ok, OkCancel, YesNoCancel, YesNo, YesNoToAll };
    enum class Icon { None, Critical, Question, Warning, Information };
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::None;
    int defaultButton = 0; // 0-based position among the buttons

    // The answers of the buttons, left to right.
    std::vector<int> answers() const;
};

MessageStyle decodeMessageStyle(int style);

// The text of the unexpected-error report.
QString unexpectedErrorText(int number, const QString& description);
