#include "platform/message_box.h"

#include "common/sjis.h"

namespace kest {

std::vector<int> MsgButtonAnswers(TMsgButtons b) {
  switch (b) {
    case TMsgButtons::Ok: return {IDOK};
    case TMsgButtons::OkCancel: return {IDOK, IDCANCEL};
    case TMsgButtons::YesNoCancel: return {IDYES, IDNO, IDCANCEL};
    case TMsgButtons::YesNo: return {IDYES, IDNO};
    case TMsgButtons::RetryCancel: return {IDRETRY, IDCANCEL};
  }
  return {IDOK};
}

int MsgDefaultAnswer(TMsgButtons b, int defaultButton) {
  const std::vector<int> a = MsgButtonAnswers(b);
  if (defaultButton < 0 || size_t(defaultButton) >= a.size()) defaultButton = 0;
  return a[size_t(defaultButton)];
}

int MsgEscapeAnswer(TMsgButtons b) {
  switch (b) {
    case TMsgButtons::Ok: return IDOK;
    case TMsgButtons::YesNo: return IDNO;
    default: return IDCANCEL;
  }
}

const char* MsgAnswerName(int a) {
  switch (a) {
    case IDOK: return "OK";
    case IDCANCEL: return "CANCEL";
    case IDRETRY: return "RETRY";
    case IDYES: return "YES";
    case IDNO: return "NO";
  }
  return "?";
}

int MsgAnswerFromName(std::string_view name) {
  const std::string u = UpperCase(name);
  for (int a : {IDOK, IDCANCEL, IDRETRY, IDYES, IDNO})
    if (u == MsgAnswerName(a)) return a;
  return 0;
}

const char* MsgButtonsName(TMsgButtons b) {
  switch (b) {
    case TMsgButtons::Ok: return "OK";
    case TMsgButtons::OkCancel: return "OKCANCEL";
    case TMsgButtons::YesNoCancel: return "YESNOCANCEL";
    case TMsgButtons::YesNo: return "YESNO";
    case TMsgButtons::RetryCancel: return "RETRYCANCEL";
  }
  return "?";
}

const char* MsgIconName(TMsgIcon i) {
  switch (i) {
    case TMsgIcon::None: return "none";
    case TMsgIcon::Error: return "error";
    case TMsgIcon::Question: return "question";
    case TMsgIcon::Warning: return "warning";
    case TMsgIcon::Information: return "information";
  }
  return "?";
}

}  // namespace kest
