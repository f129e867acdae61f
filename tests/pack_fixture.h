// What the packer's tests share: a folder of their own, copies of the inputs, the real tool.
#pragma once

#include <gtest/gtest.h>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/file_bytes.h"
#include "tests/packed_viewer.h"
#include "tests/packer_run.h"

extern const std::string kPacker;
extern const std::string kLinked;  // a linked program with the directory section, never packed
extern const std::string kFirst;   // the committed pictures
extern const std::string kSecond;
extern const std::string kInputs;  // pictures wrong in one way each

// Pictures of one grey made in memory.
Bytes encodePng(int width, int height, int components);
Bytes encodeJpeg(int width, int height);

// The file packed at `packedPath` is `viewer` with only its 20 directory bytes at `directoryAt`
// changed (and, for a PE file, its checksum at `checksumAt` cleared), then `first`, then
// `second`, the words pointing at them; the viewer's own reader gets both back through them.
void expectPackedFrom(const Bytes& viewer, const std::string& packedPath, std::uint64_t directoryAt,
                      const Bytes& first, const Bytes& second,
                      std::optional<std::uint64_t> checksumAt = std::nullopt);
// The viewer's own reader, given the directory at `directoryAt` of the file `packed` read from
// `packedPath`, gets back exactly `first` and `second`.
void expectReaderGetsBack(const Bytes& packed, const std::string& packedPath,
                          std::uint64_t directoryAt, const Bytes& first, const Bytes& second);

class PackFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A file of mode 0644 in the inputs' folder.
  std::string place(const std::string& name, const Bytes& bytes);

  // Runs the real tool with its standard error in a file outside the output's folder; an
  // unprivileged run uses the copy of the tool in our folder.
  PackRun run(const std::vector<std::string>& arguments, const PackRunOptions& options = {});

  // Why nothing can be run here as a user whom the mode 000 of `lockedFile` stops, or "".
  std::string unprivilegedUnavailable(const std::string& lockedFile);

  // What the output's folder holds, by name and content (a description for what is not a file).
  std::map<std::string, Bytes> outputDirectory();

  // Packs and expects exit code 0 with nothing on standard error.
  void expectPacked(const std::string& viewer, const std::string& first, const std::string& second,
                    const std::string& output);

  // Packs and expects exactly "zoravarova-pack: <file>: <reason>", exit code 1, and the output's
  // folder as it was: no output, no temporary, nothing that was there changed.
  void expectRefused(const std::string& viewer, const std::string& first, const std::string& second,
                     const std::string& output, const std::string& file, const std::string& reason,
                     const PackRunOptions& options = {});
  void expectViewerRefused(const std::string& viewer, const std::string& reason);
  void expectFirstRefused(const std::string& first, const std::string& reason);
  void expectSecondRefused(const std::string& second, const std::string& reason);

  std::filesystem::path root_;  // made for this test alone, mode 0755
  std::string output_;          // in root_/out
  std::string viewer_;          // copies in root_/in of kLinked, kFirst and kSecond
  std::string first_;
  std::string second_;
};
