// The packer tests' shared folder, inputs and expectations.
#include "tests/pack_fixture.h"

#include <stdlib.h>

#include <stb_image_write.h>
#include <algorithm>
#include <span>

#include "app/embedded_images.h"
#include "tests/little_endian.h"

namespace fs = std::filesystem;

const std::string kPacker = ZV_PACKER;
const std::string kLinked = ZV_LINKED_PROBE;
const std::string kFirst = std::string(ZV_ASSET_DIR) + "/first.jpg";
const std::string kSecond = std::string(ZV_ASSET_DIR) + "/second.png";
const std::string kInputs = ZV_PACK_INPUTS;

namespace {

constexpr fs::perms kFolderMode = fs::perms::owner_all | fs::perms::group_read |
                                  fs::perms::group_exec | fs::perms::others_read |
                                  fs::perms::others_exec;
constexpr fs::perms kFileMode =
    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read;

void appendTo(void* context, void* data, int size) {
  auto* out = static_cast<Bytes*>(context);
  out->insert(out->end(), static_cast<std::uint8_t*>(data),
              static_cast<std::uint8_t*>(data) + size);
}

}  // namespace

Bytes encodePng(int width, int height, int components) {
  const Bytes pixels(static_cast<std::size_t>(width) * height * components, 120);
  Bytes png;
  stbi_write_png_to_func(appendTo, &png, width, height, components, pixels.data(),
                         width * components);
  return png;
}

Bytes encodeJpeg(int width, int height) {
  const Bytes pixels(static_cast<std::size_t>(width) * height * 3, 120);
  Bytes jpeg;
  stbi_write_jpg_to_func(appendTo, &jpeg, width, height, 3, pixels.data(), 90);
  return jpeg;
}

void expectPackedFrom(const Bytes& viewer, const std::string& packedPath, std::uint64_t directoryAt,
                      const Bytes& first, const Bytes& second,
                      std::optional<std::uint64_t> checksumAt) {
  const Bytes packed = fileBytes(packedPath);
  ASSERT_EQ(packed.size(), viewer.size() + first.size() + second.size());
  // No padding before or between the pictures, and the trailing word the packer always writes.
  const DirectoryWords words{static_cast<std::uint32_t>(second.size()),
                             static_cast<std::uint32_t>(viewer.size() + first.size()),
                             static_cast<std::uint32_t>(first.size()),
                             static_cast<std::uint32_t>(viewer.size()), 4};
  EXPECT_EQ(directoryWordsAt(packed, directoryAt), words);
  Bytes expectedHead = withWords(viewer, directoryAt, words);
  if (checksumAt) {
    putLittleEndian(expectedHead, *checksumAt, 4, 0);
  }
  EXPECT_TRUE(std::equal(expectedHead.begin(), expectedHead.end(), packed.begin()))
      << "bytes of the viewer other than the directory" << (checksumAt ? " and the checksum" : "")
      << " changed";

  expectReaderGetsBack(packed, packedPath, directoryAt, first, second);
}

void expectReaderGetsBack(const Bytes& packed, const std::string& packedPath,
                          std::uint64_t directoryAt, const Bytes& first, const Bytes& second) {
  const EmbeddedAssetDirectory read = decodeEmbeddedAssetDirectory(
      std::span(packed).subspan(directoryAt).first<kEmbeddedAssetDirectoryBytes>());
  Bytes readFirst;
  Bytes readSecond;
  readEmbeddedImages(packedPath.c_str(), read, readFirst, readSecond);
  EXPECT_EQ(readFirst, first);
  EXPECT_EQ(readSecond, second);
}

void PackFixture::SetUp() {
  // Our own folder with modes set here, whatever the umask, so that an unprivileged user can
  // reach it wherever the checkout and the build are.
  std::string name = (fs::temp_directory_path() / "zv-pack-XXXXXX").string();
  if (mkdtemp(name.data()) == nullptr) {
    GTEST_SKIP() << "cannot make a folder in " << fs::temp_directory_path();
  }
  root_ = name;
  fs::create_directory(root_ / "in");
  fs::create_directory(root_ / "out");
  for (const fs::path& folder : {root_, root_ / "in", root_ / "out"}) {
    fs::permissions(folder, kFolderMode);
  }
  output_ = (root_ / "out" / "packed").string();
  viewer_ = place("viewer", fileBytes(kLinked));
  first_ = place("first.jpg", fileBytes(kFirst));
  second_ = place("second.png", fileBytes(kSecond));
}

void PackFixture::TearDown() {
  if (root_.empty()) {
    return;
  }
  for (const auto& entry : fs::recursive_directory_iterator(root_)) {
    if (!entry.is_symlink()) {
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
    }
  }
  fs::remove_all(root_);
}

std::string PackFixture::place(const std::string& name, const Bytes& bytes) {
  const std::string path = (root_ / "in" / name).string();
  writeBytes(path, bytes);
  fs::permissions(path, kFileMode);
  return path;
}

PackRun PackFixture::run(const std::vector<std::string>& arguments, const PackRunOptions& options) {
  const std::string packer = options.unprivileged ? (root_ / "zoravarova-pack").string() : kPacker;
  return runPacker(packer, arguments, (root_ / "stderr.txt").string(), options);
}

std::string PackFixture::unprivilegedUnavailable(const std::string& lockedFile) {
  // The build tree may lie where that user cannot reach it: it runs a copy of the tool here.
  const fs::path packer = root_ / "zoravarova-pack";
  fs::copy_file(kPacker, packer, fs::copy_options::overwrite_existing);
  fs::permissions(packer, kFolderMode);
  return unprivilegedRunUnavailable(packer.string(), lockedFile);
}

std::map<std::string, Bytes> PackFixture::outputDirectory() {
  std::map<std::string, Bytes> entries;
  for (const auto& entry : fs::directory_iterator(root_ / "out")) {
    // A link is told by where it points, anything else that is not a file by its kind, so that
    // one replaced by a regular file shows.
    std::string other;
    if (entry.is_symlink()) {
      other = "symbolic link to " + fs::read_symlink(entry.path()).string();
    } else if (!entry.is_regular_file()) {
      other = "file of type " + std::to_string(static_cast<int>(entry.status().type()));
    }
    entries[entry.path().filename().string()] =
        other.empty() ? fileBytes(entry.path().string()) : Bytes(other.begin(), other.end());
  }
  return entries;
}

void PackFixture::expectPacked(const std::string& viewer, const std::string& first,
                               const std::string& second, const std::string& output) {
  const PackRun result = run({viewer, first, second, output});
  EXPECT_EQ(result.exitCode, 0) << viewer;
  EXPECT_EQ(result.errorText, "");
}

void PackFixture::expectRefused(const std::string& viewer, const std::string& first,
                                const std::string& second, const std::string& output,
                                const std::string& file, const std::string& reason,
                                const PackRunOptions& options) {
  SCOPED_TRACE(file + ": " + reason);
  const auto before = outputDirectory();
  const PackRun result = run({viewer, first, second, output}, options);
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.errorText, "zoravarova-pack: " + file + ": " + reason + "\n");
  EXPECT_EQ(outputDirectory(), before);
}

void PackFixture::expectViewerRefused(const std::string& viewer, const std::string& reason) {
  expectRefused(viewer, first_, second_, output_, viewer, reason);
}

void PackFixture::expectFirstRefused(const std::string& first, const std::string& reason) {
  expectRefused(viewer_, first, second_, output_, first, reason);
}

void PackFixture::expectSecondRefused(const std::string& second, const std::string& reason) {
  expectRefused(viewer_, first_, second, output_, second, reason);
}
