// Running the real packer from a test: its exit code and the standard error it wrote.
#pragma once

#include <string>
#include <vector>

struct PackRun {
  int exitCode = -1;  // -1 when the tool did not exit by itself
  std::string errorText;
};

// Runs `packer` with `arguments` (no shell in between), its standard error in `errorsPath`; as
// the unprivileged user `nobody` when asked and we are root, whom file permissions do not stop.
PackRun runPacker(const std::string& packer, const std::vector<std::string>& arguments,
                  const std::string& errorsPath, bool unprivileged = false);
