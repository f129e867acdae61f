// Runs a child program with a time limit and collects its standard output.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

struct ChildResult {
  std::optional<int> exitCode;  // nullopt when it was killed by a signal or by the limit
  bool timedOut = false;
  std::string output;
};

// Starts `argv[0]` (a path, not searched) with the given arguments, as the leader of a new
// process group; standard error is inherited. A child still running at `limit` is killed with
// its group and reaped.
ChildResult runChild(const std::vector<std::string>& argv, std::chrono::milliseconds limit);

// Starts a child whose output is discarded; -1 if it could not be started.
pid_t startSilentChild(const std::vector<std::string>& argv);

// Ends a child started above and its group: SIGTERM, then SIGKILL after `grace`; returns once
// the child is reaped.
void stopChild(pid_t pid, std::chrono::milliseconds grace);

// Nanoseconds on CLOCK_MONOTONIC, which all processes of the machine share.
long long monotonicNanoseconds();
