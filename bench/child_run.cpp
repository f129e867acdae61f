// Child processes for the benchmarks, started with posix_spawn and watched with poll.
#include "bench/child_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace {

std::vector<char*> argumentPointers(const std::vector<std::string>& argv) {
  std::vector<char*> pointers;
  for (const std::string& argument : argv) {
    pointers.push_back(const_cast<char*>(argument.c_str()));
  }
  pointers.push_back(nullptr);
  return pointers;
}

// Each child leads a process group of its own, so what it starts ends with it.
pid_t spawnInOwnGroup(const std::vector<std::string>& argv,
                      const posix_spawn_file_actions_t* actions) {
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  std::vector<char*> arguments = argumentPointers(argv);
  pid_t pid = -1;
  const int spawned =
      posix_spawn(&pid, argv[0].c_str(), actions, &attributes, arguments.data(), environ);
  posix_spawnattr_destroy(&attributes);
  return spawned == 0 ? pid : -1;
}

void killGroup(pid_t pid, int signal) {
  kill(-pid, signal);
}

std::optional<int> exitCodeOf(int status) {
  if (WIFEXITED(status)) {
    return WEXITSTATUS(status);
  }
  return std::nullopt;
}

}  // namespace

long long monotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

ChildResult runChild(const std::vector<std::string>& argv, std::chrono::milliseconds limit) {
  ChildResult result;
  int pipeEnds[2];
  if (argv.empty() || pipe2(pipeEnds, O_CLOEXEC) != 0) {
    return result;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  const pid_t pid = spawnInOwnGroup(argv, &actions);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  if (pid <= 0) {
    close(pipeEnds[0]);
    return result;
  }

  const auto deadline = std::chrono::steady_clock::now() + limit;
  char buffer[4096];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      result.timedOut = true;
      break;
    }
    pollfd watched{pipeEnds[0], POLLIN, 0};
    const int ready = poll(&watched, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) {
      continue;
    }
    if (ready <= 0) {
      continue;  // the deadline check above ends the loop
    }
    const ssize_t got = read(pipeEnds[0], buffer, sizeof(buffer));
    if (got <= 0) {
      break;  // end of output: the child closed it, normally by exiting
    }
    result.output.append(buffer, static_cast<std::size_t>(got));
  }
  close(pipeEnds[0]);

  int status = 0;
  if (result.timedOut) {
    killGroup(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return result;
  }
  // Output closed but the process may linger (or have passed its descriptor on): bounded wait.
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      result.timedOut = true;
      killGroup(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return result;
    }
    usleep(2000);
  }
  result.exitCode = exitCodeOf(status);
  return result;
}

pid_t startSilentChild(const std::vector<std::string>& argv) {
  if (argv.empty()) {
    return -1;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  const pid_t pid = spawnInOwnGroup(argv, &actions);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

void stopChild(pid_t pid, std::chrono::milliseconds grace) {
  if (pid <= 0) {
    return;
  }
  killGroup(pid, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + grace;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      killGroup(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return;
    }
    usleep(2000);
  }
}
