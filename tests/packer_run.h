// Running the real packer from a test: its exit code and the standard error it wrote.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PackRun {
  int exitCode = -1;  // -1 when the tool did not exit by itself
  std::string errorText;
};

struct PackRunOptions {
  // As uid and gid 65534 when we are root; as ourselves otherwise, whom file modes stop already.
  bool unprivileged = false;
  // When not 0, the largest file the tool may write, past which a write fails (EFBIG).
  std::uint64_t fileSizeLimit = 0;
  // When not 0, the tool's address space, past which an allocation fails.
  std::uint64_t addressSpaceLimit = 0;
};

// Runs `packer` with `arguments` (no shell in between), its standard error in `errorsPath`.
PackRun runPacker(const std::string& packer, const std::vector<std::string>& arguments,
                  const std::string& errorsPath, const PackRunOptions& options = {});

// Why `packer` cannot be run here as a user whom file modes stop, or "" when it can:
// the drop to uid 65534 is refused, that user cannot reach or run `packer`, or it can still
// open `lockedFile` (mode 000), as a capability would let it.
std::string unprivilegedRunUnavailable(const std::string& packer, const std::string& lockedFile);
