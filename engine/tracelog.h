// The interpreter's trace log: one line per command reached and per event handler
// started, as the optional log library writes them ("--log F").
#pragma once
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

namespace kest {

// "%.8x : %s(%d)": the play clock in eight lower-case hex digits, the page, the line.
std::string TraceCommandLine(uint32_t clockTime, const std::string& page, int32_t line);
// "%.8x : <Event>%s(%d)".
std::string TraceEventLine(uint32_t clockTime, const std::string& page, int32_t line);

class TKestLog {
 public:
  TKestLog() = default;
  ~TKestLog() { Final(); }
  TKestLog(const TKestLog&) = delete;
  TKestLog& operator=(const TKestLog&) = delete;

  // Opens (truncates) the log file (a native path); false when it cannot be made.
  bool Init(const std::string& nativePath);
  bool Active() const { return file_ != nullptr; }
  // One line; CP932 text is written as UTF-8.
  void Write(const std::string& cp932Line);
  void Final();

 private:
  std::mutex lock_;
  FILE* file_ = nullptr;
};

}  // namespace kest
