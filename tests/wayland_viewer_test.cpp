// The packed viewer on Debian's Wayland build of GLFW, under a headless weston of its own and no X
// server: its picture against the Linux build's on Xvfb.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <stb_image.h>

#include "app/viewer.h"
#include "tests/file_bytes.h"
#include "tests/viewer_test.h"
#include "tests/x_session.h"

namespace {

namespace fs = std::filesystem;

const std::string kViewer = ZV_VIEWER;
// scripts/setup.sh's test purpose fetches the .deb here. It conflicts with libglfw3, so it is
// unpacked into the test's folder, never installed.
const std::string kDebCache = ZV_DEB_CACHE;
constexpr auto kStartLimit = 20s;
constexpr auto kStepLimit = 10s;
// Larger than the window and GLFW's frame around it, wherever the shell places it.
constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;

std::optional<fs::path> waylandGlfwDeb() {
  std::error_code error;
  std::optional<fs::path> newest;
  for (const fs::directory_entry& entry : fs::directory_iterator(kDebCache, error)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with("libglfw3-wayland_") && name.ends_with(".deb") &&
        (!newest || entry.path() > *newest)) {
      newest = entry.path();
    }
  }
  return newest;
}

std::optional<fs::path> findFile(const fs::path& root, const std::string& name) {
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    if (entry.path().filename() == name) {
      return entry.path();
    }
  }
  return std::nullopt;
}

// weston's XDG_RUNTIME_DIR: mode 0700 as weston demands, under the temporary folder so that its
// socket's path stays within the 108 bytes a socket address holds wherever the build lives.
struct RuntimeDirectory {
  RuntimeDirectory() {
    path = (fs::temp_directory_path() / "zv-weston-XXXXXX").string();
    if (mkdtemp(path.data()) == nullptr) {
      ADD_FAILURE() << "cannot make " << path << ": " << std::strerror(errno);
      path.clear();
    }
  }
  ~RuntimeDirectory() {
    std::error_code ignored;
    if (!path.empty()) {
      fs::remove_all(path, ignored);
    }
  }
  RuntimeDirectory(const RuntimeDirectory&) = delete;
  RuntimeDirectory& operator=(const RuntimeDirectory&) = delete;
  std::string path;
};

// A plain black desktop with no panel, no lock and no blanking, whatever the user's own weston.ini
// says.
void writeWestonConfig(const std::string& path) {
  writeBytes(path, [] {
    const std::string text =
        "[core]\nidle-time=0\n"
        "[shell]\nbackground-color=0xff000000\nbackground-image=\npanel-position=none\n"
        "locking=false\n";
    return Bytes(text.begin(), text.end());
  }());
}

// weston-screenshooter writes into its working folder under a name of its own, so each shot is
// taken in a fresh folder. nullopt, and `problem` says why, when it fails or its file cannot be
// read.
std::optional<Screenshot> westonScreenshot(const std::map<std::string, std::string>& environment,
                                           const fs::path& folder, std::string& problem) {
  fs::create_directories(folder);
  ChildProcess shooter("sh",
                       {"-c", "cd \"$1\" && exec weston-screenshooter", "sh", folder.string()},
                       environment, folder.string());
  const std::optional<int> exit = shooter.waitForExit(kStepLimit);
  if (exit != std::optional<int>(0)) {
    problem = "weston-screenshooter " +
              (exit ? "ended with exit code " + std::to_string(*exit) : "did not end") + ": " +
              shooter.standardError();
    return std::nullopt;
  }
  problem = "weston-screenshooter wrote no PNG that can be read";
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() != ".png") {
      continue;
    }
    stbi_set_flip_vertically_on_load(0);
    int width = 0;
    int height = 0;
    int stored = 0;
    stbi_uc* pixels = stbi_load(entry.path().c_str(), &width, &height, &stored, 3);
    if (pixels == nullptr) {
      return std::nullopt;
    }
    Screenshot shot{width, height, {pixels, pixels + static_cast<std::size_t>(width) * height * 3}};
    stbi_image_free(pixels);
    return shot;
  }
  return std::nullopt;
}

// The viewer's picture has come up once the clear colour spans the content area and cubes are
// drawn on it; GLFW's grey frame lies outside that area.
bool showsThePicture(const Screenshot& shot, const ScreenRectangle& content) {
  if (content.width != kWindowWidth || content.height != kWindowHeight) {
    return false;
  }
  int drawn = 0;
  for (int y = content.top; y < content.top + content.height; ++y) {
    for (int x = content.left; x < content.left + content.width; ++x) {
      drawn += isBackground(shot.at(x, y)) ? 0 : 1;
    }
  }
  return drawn > 20000;
}

// The GLFW libraries the process has mapped, by the files' paths.
std::vector<std::string> mappedGlfw(pid_t pid) {
  std::istringstream maps(fileText("/proc/" + std::to_string(pid) + "/maps"));
  std::vector<std::string> found;
  for (std::string line; std::getline(maps, line);) {
    const std::size_t path = line.find('/');
    if (path != std::string::npos && line.find("/libglfw.so", path) != std::string::npos &&
        std::find(found.begin(), found.end(), line.substr(path)) == found.end()) {
      found.push_back(line.substr(path));
    }
  }
  return found;
}

TEST(WaylandViewer, OnGlfwsWaylandBuildShowsThePictureOfTheLinuxBuild) {
  const std::optional<fs::path> deb = waylandGlfwDeb();
  if (!deb) {
    GTEST_SKIP() << "no libglfw3-wayland_*.deb in " << kDebCache
                 << "; scripts/setup.sh test fetches it there with apt-get download";
  }
  const fs::path dir = makeTestDirectory("WaylandViewer");
  const fs::path unpacked = dir / "glfw-wayland";
  {
    ChildProcess unpack("dpkg-deb", {"-x", deb->string(), unpacked.string()}, {}, dir.string());
    ASSERT_EQ(unpack.waitForExit(30s), std::optional<int>(0)) << unpack.standardError();
  }
  const std::optional<fs::path> library = findFile(unpacked, "libglfw.so.3");
  ASSERT_TRUE(library.has_value()) << *deb << " holds no libglfw.so.3";
  const fs::path libraryDir = fs::canonical(library->parent_path());

  RuntimeDirectory runtime;
  ASSERT_FALSE(runtime.path.empty());
  const std::string socket = "zoravarova-test";
  // No X server to fall back on: the viewer draws through Wayland or not at all.
  std::map<std::string, std::string> environment = {
      {"XDG_RUNTIME_DIR", runtime.path}, {"WAYLAND_DISPLAY", socket}, {"DISPLAY", ""}};

  const std::string config = (dir / "weston.ini").string();
  writeWestonConfig(config);
  std::map<std::string, std::string> westonEnvironment = environment;
  westonEnvironment["WAYLAND_DISPLAY"] = "";
  fs::create_directories(dir / "weston");
  // Declared before the viewer, so that the viewer's process group is ended first, then weston's
  // (ChildProcess ends its own group by its PID).
  // --debug lets weston-screenshooter take the output's picture.
  ChildProcess weston(
      "weston",
      {"--backend=headless-backend.so", "--use-pixman", "--debug", "--socket=" + socket,
       "--config=" + config, "--width=" + std::to_string(kScreenWidth),
       "--height=" + std::to_string(kScreenHeight), "--idle-time=0"},
      westonEnvironment, (dir / "weston").string());
  const fs::path socketPath = fs::path(runtime.path) / socket;
  waitUntil([&] { return fs::exists(socketPath) || !weston.running(); }, kStartLimit);
  ASSERT_TRUE(weston.running() && fs::exists(socketPath))
      << "weston made no socket " << socketPath << "; its error output: " << weston.standardError();

  std::map<std::string, std::string> viewerEnvironment = environment;
  viewerEnvironment["LD_LIBRARY_PATH"] = libraryDir.string();
  fs::create_directories(dir / "viewer");
  ChildProcess viewer(kViewer, {}, viewerEnvironment, (dir / "viewer").string());

  Screenshot shot;
  ScreenRectangle content;
  int shots = 0;
  std::string shotProblem;
  waitUntil(
      [&] {
        const std::optional<Screenshot> taken =
            westonScreenshot(environment, dir / "shots" / std::to_string(++shots), shotProblem);
        if (taken) {
          shot = *taken;
          content = backgroundBounds(shot);
        }
        return !viewer.running() || (taken && showsThePicture(shot, content));
      },
      kStartLimit, 100ms);
  // A picture that did come up is saved with the comparison below.
  if (shot.width > 0 && !showsThePicture(shot, content)) {
    savePng(shot, (dir / "weston.png").string());
  }
  if (const std::optional<int> exit = viewer.waitForExit(0ms)) {
    FAIL() << "the viewer ended with exit code " << *exit
           << "; its error output: " << viewer.standardError();
  }
  ASSERT_GT(shot.width, 0) << shotProblem;
  ASSERT_TRUE(showsThePicture(shot, content))
      << "no 800x600 picture with cubes came up in " << shots << " shots; the last is in " << dir;

  // The loader took GLFW from the unpacked package, and only from there.
  const std::vector<std::string> glfw = mappedGlfw(viewer.pid());
  ASSERT_FALSE(glfw.empty()) << "the viewer has no GLFW mapped";
  for (const std::string& path : glfw) {
    EXPECT_EQ(fs::path(path).parent_path(), libraryDir) << path;
  }

  // The same viewer with the X11 build of GLFW.
  expectThePictureOf(kViewer, shot, content.left, content.top, dir.string());
}

}  // namespace
