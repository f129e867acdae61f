// Running the real packer from a test, by fork and exec.
#include "tests/packer_run.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>

namespace {

// Not looked up by name: it need not be in /etc/passwd to be taken on.
constexpr uid_t kUnprivilegedId = 65534;
constexpr int kCannotDrop = 125;
constexpr int kNotStopped = 124;
constexpr int kCannotExec = 127;

// In the child: becomes the unprivileged user when we are root.
bool dropPrivileges() {
  return geteuid() != 0 || (setgroups(0, nullptr) == 0 && setgid(kUnprivilegedId) == 0 &&
                            setuid(kUnprivilegedId) == 0);
}

bool limit(int resource, std::uint64_t bytes) {
  const rlimit value{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
  return bytes == 0 || setrlimit(resource, &value) == 0;
}

std::vector<char*> argumentVector(const std::string& program,
                                  const std::vector<std::string>& arguments) {
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  return argv;
}

int waitForExit(pid_t child) {
  int status = 0;
  while (waitpid(child, &status, 0) == -1 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

PackRun runPacker(const std::string& packer, const std::vector<std::string>& arguments,
                  const std::string& errorsPath, const PackRunOptions& options) {
  // Built before forking: the child only makes system calls.
  std::vector<char*> argv = argumentVector(packer, arguments);
  const pid_t child = fork();
  if (child == 0) {
    const int file = open(errorsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(file, STDERR_FILENO);
    if (options.unprivileged && !dropPrivileges()) {
      _exit(kCannotDrop);
    }
    // An ignored SIGXFSZ stays ignored across exec, so a write past the limit fails instead.
    if (options.fileSizeLimit != 0) {
      signal(SIGXFSZ, SIG_IGN);
    }
    if (!limit(RLIMIT_FSIZE, options.fileSizeLimit) ||
        !limit(RLIMIT_AS, options.addressSpaceLimit)) {
      _exit(kCannotExec);
    }
    execv(packer.c_str(), argv.data());
    _exit(kCannotExec);
  }
  const int exitCode = waitForExit(child);
  std::ifstream in(errorsPath, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return {exitCode, text};
}

std::string unprivilegedRunUnavailable(const std::string& packer, const std::string& lockedFile) {
  std::vector<char*> argv = argumentVector(packer, {});
  const pid_t child = fork();
  if (child == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDERR_FILENO);
    if (!dropPrivileges()) {
      _exit(kCannotDrop);
    }
    if (open(lockedFile.c_str(), O_RDONLY) != -1) {
      _exit(kNotStopped);
    }
    execv(packer.c_str(), argv.data());  // without arguments it prints its usage, exit code 2
    _exit(kCannotExec);
  }
  switch (const int exitCode = waitForExit(child)) {
    case 2:
      return "";
    case kCannotDrop:
      return "cannot become uid and gid 65534";
    case kNotStopped:
      return "a file of mode 000 does not stop this user (a capability overrides file modes)";
    case kCannotExec:
      return "the unprivileged user cannot reach or run " + packer;
    default:
      return "the packer run as the unprivileged user ended with " + std::to_string(exitCode);
  }
}
