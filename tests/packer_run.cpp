// Running the real packer from a test, by fork and exec.
#include "tests/packer_run.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

namespace {
constexpr uid_t kNobody = 65534;
}  // namespace

PackRun runPacker(const std::string& packer, const std::vector<std::string>& arguments,
                  const std::string& errorsPath, bool unprivileged) {
  const pid_t child = fork();
  if (child == 0) {
    const int file = open(errorsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(file, STDERR_FILENO);
    if (unprivileged && geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
      _exit(126);
    }
    std::vector<char*> argv{const_cast<char*>(packer.c_str())};
    for (const std::string& argument : arguments) {
      argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    execv(packer.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  std::ifstream in(errorsPath, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}
