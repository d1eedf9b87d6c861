// Message boxes: a caption, a text, a set of buttons, an icon; the answer as Windows gives it.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace kest {

// Button sets, with the Windows values.
enum class TMsgButtons : int { Ok = 0, OkCancel = 1, YesNoCancel = 3, YesNo = 4, RetryCancel = 5 };
enum class TMsgIcon : int { None = 0, Error = 0x10, Question = 0x20, Warning = 0x30, Information = 0x40 };

// Answers, with the Windows values.
enum : int { IDOK = 1, IDCANCEL = 2, IDRETRY = 4, IDYES = 6, IDNO = 7 };

// The answers of a button set, left to right.
std::vector<int> MsgButtonAnswers(TMsgButtons buttons);
// The answer of the default button (index into MsgButtonAnswers; out of range means the
// first button).
int MsgDefaultAnswer(TMsgButtons buttons, int defaultButton = 0);
// The answer when the box is closed without a button (Escape or the close box): Cancel where
// the set has it, No for yes/no, OK for OK alone.
int MsgEscapeAnswer(TMsgButtons buttons);
// "OK", "CANCEL", "RETRY", "YES", "NO" (and back; any letter case; 0 when unknown).
const char* MsgAnswerName(int answer);
int MsgAnswerFromName(std::string_view name);
const char* MsgButtonsName(TMsgButtons buttons);  // "OK", "OKCANCEL", ...
const char* MsgIconName(TMsgIcon icon);           // "none", "warning", ...

// The caption texts of the player's own boxes.
inline constexpr const char* kCaptionWarning = "\x8C\x78\x8D\x90";      // 警告
inline constexpr const char* kCaptionInformation = "\x8F\xEE\x95\xF1";  // 情報

class TMessageBoxes {
 public:
  virtual ~TMessageBoxes() = default;
  // Shows a modal box (caption and text in CP932) and answers IDOK, IDCANCEL, IDYES, IDNO or
  // IDRETRY. defaultButton is the index of the button that Return presses.
  virtual int Show(std::string_view captionCp932, std::string_view textCp932, TMsgButtons buttons,
                   TMsgIcon icon, int defaultButton = 0) = 0;
};

}  // namespace kest
