// Opening a document or a web address with the user's preferred program.
#pragma once
#include <string>
#include <vector>

namespace kest {

class TShellOpen {
 public:
  virtual ~TShellOpen() = default;
  // Opens a path or URL (UTF-8). True when the opener was started; it runs on by itself.
  virtual bool Open(const std::string& targetUtf8) = 0;
};

// Runs `xdg-open TARGET` as its own process: fork and exec with an argument vector, never a
// shell command line, so no character of the target is interpreted.
class TXdgOpen : public TShellOpen {
 public:
  explicit TXdgOpen(std::string program = "xdg-open") : program_(std::move(program)) {}
  bool Open(const std::string& targetUtf8) override;

 private:
  std::string program_;
};

// Starts argv[0] (searched in PATH) with the arguments, detached: the caller does not wait
// for it and no zombie is left behind. True when exec succeeded.
bool SpawnDetached(const std::vector<std::string>& argv);

}  // namespace kest
