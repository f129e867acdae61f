// Running the real packer from a test, by fork and exec.
#include "tests/packer_run.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <filesystem>

#include "tests/file_bytes.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Not looked up by name: it need not be in /etc/passwd to be taken on.
constexpr uid_t kUnprivilegedId = 65534;
constexpr int kCannotFilter = 122;
constexpr int kCannotTrace = 123;
constexpr int kNotStopped = 124;
constexpr int kCannotDrop = 125;
constexpr int kCannotExec = 127;

#if defined(__x86_64__)
constexpr std::uint32_t kNativeArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr std::uint32_t kNativeArch = AUDIT_ARCH_AARCH64;
#else
constexpr std::uint32_t kNativeArch = 0;  // no filter written for it: such runs are unavailable
#endif

// The low word of openat's flags argument.
constexpr std::uint32_t kOpenatFlags =
    offsetof(seccomp_data, args) + 2 * sizeof(std::uint64_t) +
    (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? sizeof(std::uint32_t) : 0);
constexpr std::uint32_t kTmpfileBit = O_TMPFILE & ~O_DIRECTORY;

// openat with O_TMPFILE fails with EOPNOTSUPP; every other call passes.
const sock_filter kNoUnnamedFiles[] = {
    BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kNativeArch, 0, 5),
    BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_openat, 0, 3),
    BPF_STMT(BPF_LD | BPF_W | BPF_ABS, kOpenatFlags),
    BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, kTmpfileBit, 0, 1),
    BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EOPNOTSUPP),
    BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
};

// In the child: becomes the unprivileged user when we are root.
bool dropPrivileges() {
  return geteuid() != 0 || (setgroups(0, nullptr) == 0 && setgid(kUnprivilegedId) == 0 &&
                            setuid(kUnprivilegedId) == 0);
}

bool limit(int resource, std::uint64_t bytes) {
  const rlimit value{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
  return bytes == 0 || setrlimit(resource, &value) == 0;
}

// In the child: every signal at its default action and none blocked, whatever the test runner
// inherited (an ignored SIGXFSZ or SIGHUP would stay ignored across exec).
void defaultSignals() {
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  for (int number = 1; number < NSIG; ++number) {
    sigaction(number, &byDefault, nullptr);  // refused for SIGKILL and SIGSTOP, which is fine
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
}

bool filterUnnamedFiles() {
  sock_fprog program{static_cast<unsigned short>(std::size(kNoUnnamedFiles)),
                     const_cast<sock_filter*>(kNoUnnamedFiles)};
  return kNativeArch != 0 && prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
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

// Waits until the child ends or, traced, stops; false when `deadline` passes first. SIGCHLD is
// blocked meanwhile, so one sent between the look and the wait stays pending and ends the wait;
// each wait is short in case another thread took it.
bool awaitChild(pid_t child, Clock::time_point deadline, int& status) {
  sigset_t childSignal;
  sigemptyset(&childSignal);
  sigaddset(&childSignal, SIGCHLD);
  for (;;) {
    const pid_t got = waitpid(child, &status, WNOHANG);
    if (got == child) {
      return true;
    }
    const auto left = deadline - Clock::now();
    if (got == -1 && errno != EINTR) {
      return false;
    }
    if (left <= Clock::duration::zero()) {
      return false;
    }
    const auto wait = std::min<Clock::duration>(left, std::chrono::milliseconds(100));
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
    const timespec time{nanoseconds / 1'000'000'000, nanoseconds % 1'000'000'000};
    sigtimedwait(&childSignal, nullptr, &time);
  }
}

std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The folder of what the child's descriptor is open on, from its /proc link (which names even an
// unnamed file, as "<folder>/#<inode> (deleted)").
std::string folderOf(pid_t child, std::uint64_t descriptor) {
  std::error_code error;
  const fs::path target = fs::read_symlink(
      "/proc/" + std::to_string(child) + "/fd/" + std::to_string(descriptor), error);
  return error ? "" : target.parent_path().string();
}

void* asPointer(std::uintptr_t value) {
  return reinterpret_cast<void*>(value);
}

// From the traced child's exec on, stops it at every system call until the one `options` asks
// for; there it lists the watched folder, sends the signal and lets the child go. The signal is
// sent while the child is held, so it lands at exactly that point, with no timing involved.
void stopAndSignal(pid_t child, const PackRunOptions& options, Clock::time_point deadline,
                   int& status, PackRun& run) {
  const std::string folder = fs::canonical(options.watchedFolder).string();
  const std::vector<std::string> before = namesIn(folder);
  ptrace(PTRACE_SETOPTIONS, child, nullptr, asPointer(PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL));
  int passOn = 0;
  while (ptrace(PTRACE_SYSCALL, child, nullptr, asPointer(static_cast<unsigned>(passOn))) == 0 &&
         awaitChild(child, deadline, status) && WIFSTOPPED(status)) {
    // A stop for a signal, not a system call: the signal goes on to the child.
    passOn = WSTOPSIG(status) == (SIGTRAP | 0x80) ? 0 : WSTOPSIG(status);
    __ptrace_syscall_info call{};
    if (passOn != 0 || ptrace(PTRACE_GET_SYSCALL_INFO, child, asPointer(sizeof call), &call) <= 0 ||
        call.op != PTRACE_SYSCALL_INFO_ENTRY) {
      continue;
    }
    const bool there =
        options.stopAt == StopAt::kWriting
            ? call.entry.nr == SYS_write && folderOf(child, call.entry.args[0]) == folder
            : namesIn(folder) != before;
    if (there) {
      run.namesAtStop = namesIn(folder);
      run.stopped = true;
      kill(child, options.stopSignal);
      ptrace(PTRACE_DETACH, child, nullptr, nullptr);
      return;
    }
  }
}

}  // namespace

PackRun runPacker(const std::string& packer, const std::vector<std::string>& arguments,
                  const std::string& errorsPath, const PackRunOptions& options) {
  // Built before forking: the child only makes system calls.
  std::vector<char*> argv = argumentVector(packer, arguments);
  const bool traced = options.stopAt != StopAt::kNothing;
  sigset_t childSignal;
  sigset_t previousMask;
  sigemptyset(&childSignal);
  sigaddset(&childSignal, SIGCHLD);
  sigprocmask(SIG_BLOCK, &childSignal, &previousMask);
  const pid_t child = fork();
  if (child == 0) {
    const int file = open(errorsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(file, STDERR_FILENO);
    defaultSignals();
    if (options.unprivileged && !dropPrivileges()) {
      _exit(kCannotDrop);
    }
    const rlimit noCore{0, 0};
    if (!limit(RLIMIT_FSIZE, options.fileSizeLimit) ||
        !limit(RLIMIT_AS, options.addressSpaceLimit) || setrlimit(RLIMIT_CORE, &noCore) != 0 ||
        (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0)) {
      _exit(kCannotExec);
    }
    if (options.withoutUnnamedFiles && !filterUnnamedFiles()) {
      _exit(kCannotFilter);
    }
    if (traced && ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) {
      _exit(kCannotTrace);
    }
    execv(packer.c_str(), argv.data());
    _exit(kCannotExec);
  }
  PackRun run;
  const auto deadline = Clock::now() + options.timeLimit;
  int status = 0;
  bool ended = awaitChild(child, deadline, status);
  if (ended && traced && WIFSTOPPED(status)) {
    stopAndSignal(child, options, deadline, status, run);
    ended = run.stopped ? awaitChild(child, deadline, status)
                        : WIFEXITED(status) || WIFSIGNALED(status);
  }
  if (!ended) {
    kill(child, SIGKILL);
    waitForExit(child);
    run.timedOut = true;
  }
  sigprocmask(SIG_SETMASK, &previousMask, nullptr);
  if (!run.timedOut && WIFEXITED(status)) {
    run.exitCode = WEXITSTATUS(status);
    if (run.exitCode == kCannotTrace) {
      run.unavailable = "this system does not let a test trace the program it starts (ptrace)";
    } else if (run.exitCode == kCannotFilter) {
      run.unavailable = "this system or architecture takes no seccomp filter from the test";
    }
  } else if (!run.timedOut && WIFSIGNALED(status)) {
    run.signal = WTERMSIG(status);
  }
  run.errorText = fileText(errorsPath);
  return run;
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
