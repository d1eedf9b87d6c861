#include "platform/shell_open.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace kest {

bool SpawnDetached(const std::vector<std::string>& args) {
  if (args.empty() || args[0].empty()) return false;
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  // The pipe closes on a successful exec; a failed exec writes its errno into it.
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  const pid_t child = fork();
  if (child < 0) {
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  if (child == 0) {
    // The middle process only forks the opener and leaves, so init adopts the opener.
    close(fds[0]);
    setsid();
    const pid_t grandchild = fork();
    if (grandchild == 0) {
      execvp(argv[0], argv.data());
      const int err = errno;
      (void)!write(fds[1], &err, sizeof err);
      _exit(127);
    }
    if (grandchild < 0) {
      const int err = errno;
      (void)!write(fds[1], &err, sizeof err);
    }
    _exit(0);
  }
  close(fds[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int err = 0;
  ssize_t n;
  while ((n = read(fds[0], &err, sizeof err)) < 0 && errno == EINTR) {
  }
  close(fds[0]);
  return n == 0;
}

bool TXdgOpen::Open(const std::string& target) {
  if (target.empty()) return false;
  // A target starting with "-" would be read as an option of the opener.
  std::string t = target;
  if (t[0] == '-') t = "./" + t;
  return SpawnDetached({program_, t});
}

}  // namespace kest
