// Running the real packer from a test: its exit code and the standard error it wrote.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// Where a traced run holds the tool to send it a signal.
enum class StopAt {
  kNothing,
  kWriting,     // entering its first write into a file of `watchedFolder`
  kFirstNamed,  // entering its first system call after a new name appeared in `watchedFolder`
};

struct PackRun {
  int exitCode = -1;                     // -1 when the tool did not exit by itself
  int signal = 0;                        // the signal that ended it, 0 when it exited
  bool timedOut = false;                 // killed for running past its time limit
  bool stopped = false;                  // held at the chosen stop and sent the signal there
  std::vector<std::string> namesAtStop;  // what the watched folder held then
  std::string unavailable;  // why the tracing or the filter asked for cannot be had here, or ""
  std::string errorText;
};

struct PackRunOptions {
  // As uid and gid 65534 when we are root; as ourselves otherwise, whom file modes stop already.
  bool unprivileged = false;
  // When not 0, the largest file the tool may write, past which a write fails (EFBIG).
  std::uint64_t fileSizeLimit = 0;
  // When not 0, the tool's address space, past which an allocation fails.
  std::uint64_t addressSpaceLimit = 0;
  // The folder the tool runs in, when not ours.
  std::string workingDirectory{};
  // Past this the tool is killed, so that one that waits forever fails its test instead of
  // hanging it.
  std::chrono::seconds timeLimit{60};
  // Unnamed files (O_TMPFILE) refused with EOPNOTSUPP, as by a file system without them.
  bool withoutUnnamedFiles = false;
  // Traced, held at `stopAt`, sent `stopSignal` there and let go.
  StopAt stopAt = StopAt::kNothing;
  int stopSignal = 0;
  std::string watchedFolder{};
};

// Runs `packer` with `arguments` (no shell in between), its standard error in `errorsPath`, every
// signal at its default action as a shell would start it.
PackRun runPacker(const std::string& packer, const std::vector<std::string>& arguments,
                  const std::string& errorsPath, const PackRunOptions& options = {});

// Why `packer` cannot be run here as a user whom file modes stop, or "" when it can:
// the drop to uid 65534 is refused, that user cannot reach or run `packer`, or it can still
// open `lockedFile` (mode 000), as a capability would let it.
std::string unprivilegedRunUnavailable(const std::string& packer, const std::string& lockedFile);
