#include "engine/tracelog.h"

#include "common/sjis.h"

namespace kest {

namespace {
std::string Format(uint32_t clockTime, const char* mark, const std::string& page, int32_t line) {
  char head[16];
  std::snprintf(head, sizeof head, "%.8x : ", unsigned(clockTime));
  return head + std::string(mark) + page + "(" + std::to_string(line) + ")";
}
}  // namespace

std::string TraceCommandLine(uint32_t t, const std::string& page, int32_t line) { return Format(t, "", page, line); }
std::string TraceEventLine(uint32_t t, const std::string& page, int32_t line) {
  return Format(t, "<Event>", page, line);
}

bool TKestLog::Init(const std::string& path) {
  std::lock_guard<std::mutex> g(lock_);
  if (file_) std::fclose(file_);
  file_ = std::fopen(path.c_str(), "w");
  return file_ != nullptr;
}

void TKestLog::Write(const std::string& line) {
  std::lock_guard<std::mutex> g(lock_);
  if (!file_) return;
  const std::string u = Cp932ToUtf8(line);
  std::fwrite(u.data(), 1, u.size(), file_);
  std::fputc('\n', file_);
}

void TKestLog::Final() {
  std::lock_guard<std::mutex> g(lock_);
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

}  // namespace kest
