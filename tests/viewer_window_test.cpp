// The packed viewer under an Xvfb and Mesa of the test's own: window, picture, exits; and the
// harness's own promises when Xvfb or a child misbehaves.
#include <signal.h>
#include <unistd.h>

#include <X11/keysym.h>

#include <gtest/gtest.h>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/x_session.h"

namespace {

namespace fs = std::filesystem;

const std::string kViewer = ZV_VIEWER;
constexpr auto kStartLimit = 20s;
constexpr auto kExitLimit = 10s;

// llvmpipe renders the clear colour exactly; 0.3 × 255 = 76.5 may round either way.
constexpr int kBackground[3] = {51, 77, 77};
constexpr int kClearTolerance = 1;

bool isBackground(const Screenshot::Pixel& p) {
  return std::abs(p.r - kBackground[0]) <= kClearTolerance &&
         std::abs(p.g - kBackground[1]) <= kClearTolerance &&
         std::abs(p.b - kBackground[2]) <= kClearTolerance;
}

class ViewerWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    outputDir_ = makeTestDirectory(::testing::UnitTest::GetInstance()->current_test_info()->name());
    display_ = std::make_unique<VirtualDisplay>();
    viewer_ = std::make_unique<ChildProcess>(
        kViewer, std::vector<std::string>{},
        std::map<std::string, std::string>{{"DISPLAY", display_->name()}}, outputDir_);
    window_ = waitForWindow(x(), "ZORAVAROVA", kStartLimit);
    ASSERT_NE(window_, 0u) << "no window appeared; stderr: " << viewer_->standardError();
    frames_ = std::make_unique<FrameWatch>(x(), window_);
    // The first frames have been presented once the corner shows the clear colour.
    ASSERT_TRUE(waitUntil([&] { return isBackground(captureScreen(x()).at(5, 5)); }, kStartLimit));
  }
  // The watch goes before the connection it uses, the viewer before its X server, whatever
  // happened in the test.
  void TearDown() override {
    frames_.reset();
    viewer_.reset();
    display_.reset();
  }

  Display* x() const { return display_->connection(); }

  std::string outputDir_;
  std::unique_ptr<VirtualDisplay> display_;
  std::unique_ptr<ChildProcess> viewer_;
  std::unique_ptr<FrameWatch> frames_;
  Window window_ = 0;
};

TEST_F(ViewerWindow, OpensOneWindowTitledZoravarovaOf800By600) {
  EXPECT_EQ(windowsTitled(x(), "ZORAVAROVA").size(), 1u);
  EXPECT_EQ(windowTitle(x(), window_), "ZORAVAROVA");
  XWindowAttributes attributes{};
  ASSERT_NE(XGetWindowAttributes(x(), window_, &attributes), 0);
  EXPECT_EQ(attributes.width, 800);
  EXPECT_EQ(attributes.height, 600);
}

TEST_F(ViewerWindow, ItsCornersShowTheBackgroundColour) {
  const Screenshot shot = captureScreen(x());
  savePng(shot, outputDir_ + "/screen.png");
  for (const auto& [px, py] : {std::pair{2, 2}, {797, 2}, {2, 597}, {797, 597}}) {
    const Screenshot::Pixel p = shot.at(px, py);
    EXPECT_TRUE(isBackground(p)) << "at " << px << "," << py << ": " << p.r << " " << p.g << " "
                                 << p.b;
  }
}

TEST_F(ViewerWindow, EscapeEndsItWithExitCodeZero) {
  EXPECT_EQ(pressKeyUntilExit(x(), XK_Escape, *viewer_, *frames_, kExitLimit),
            std::optional<int>(0));
  EXPECT_EQ(viewer_->standardOutput(), "");
}

TEST_F(ViewerWindow, TheCloseBoxEndsItWithExitCodeZero) {
  requestClose(x(), window_);
  EXPECT_EQ(viewer_->waitForExit(kExitLimit), std::optional<int>(0));
  EXPECT_EQ(viewer_->standardOutput(), "");
}

TEST(ViewerWithoutDisplay, ExitsWith255AndPrintsNothing) {
  const std::string dir = makeTestDirectory("ViewerWithoutDisplay");
  ChildProcess viewer(kViewer, {}, {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}}, dir);
  EXPECT_EQ(viewer.waitForExit(kExitLimit), std::optional<int>(255));
  EXPECT_EQ(viewer.standardOutput(), "");
  EXPECT_EQ(viewer.standardError(), "");
}

// Xvfb as the harness finds it on PATH, replaced for one test by a shell script.
class XvfbStandIn {
 public:
  XvfbStandIn(const std::string& dir, const std::string& script) {
    const fs::path bin = fs::path(dir) / "bin";
    fs::create_directories(bin);
    std::ofstream(bin / "Xvfb") << "#!/bin/sh\n" << script << "\n";
    fs::permissions(bin / "Xvfb", fs::perms::owner_all);
    const char* path = std::getenv("PATH");
    savedPath_ = path != nullptr ? path : "/usr/bin:/bin";
    setenv("PATH", (bin.string() + ":" + savedPath_).c_str(), 1);
  }
  ~XvfbStandIn() { setenv("PATH", savedPath_.c_str(), 1); }
  XvfbStandIn(const XvfbStandIn&) = delete;
  XvfbStandIn& operator=(const XvfbStandIn&) = delete;

 private:
  std::string savedPath_;
};

std::string startFailure(std::chrono::milliseconds limit) {
  try {
    VirtualDisplay display("800x600x24", limit);
  } catch (const std::runtime_error& error) {
    return error.what();
  }
  return "no failure";
}

// No process with this PID is left, not even a zombie, which would still take signal 0.
bool isGone(pid_t pid) {
  return kill(pid, 0) != 0 && errno == ESRCH;
}

pid_t pidWritten(const std::string& path) {
  pid_t pid = 0;
  waitUntil([&] { return (std::ifstream(path) >> pid) && pid > 0; }, 10s);
  return pid;
}

// From /proc/<pid>/stat: the state letter and the parent's PID.
std::pair<char, pid_t> stateAndParent(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  const std::string stat{std::istreambuf_iterator<char>(in), {}};
  std::istringstream rest(stat.substr(std::min(stat.size(), stat.rfind(')') + 1)));
  std::pair<char, pid_t> result{'?', 0};
  rest >> result.first >> result.second;
  return result;
}

TEST(Harness, AnXvfbThatGivesNoDisplayNumberIsEndedAtTheDeadlineWithTheReason) {
  const std::string dir = makeTestDirectory("HarnessSilentXvfb");
  const XvfbStandIn standIn(dir,
                            "echo \"$$\" >\"$(dirname \"$0\")/pid\"\n"
                            "echo 'still setting up' >&2\nexec sleep 1000");
  const std::string failure = startFailure(500ms);
  EXPECT_NE(failure.find("no display number within 500 ms"), std::string::npos) << failure;
  EXPECT_NE(failure.find("is still running"), std::string::npos) << failure;
  EXPECT_NE(failure.find("still setting up"), std::string::npos) << failure;
  const pid_t server = pidWritten(dir + "/bin/pid");
  ASSERT_GT(server, 0);
  EXPECT_TRUE(isGone(server)) << "the silent server was left running";
}

TEST(Harness, AnXvfbThatEndsAtOnceIsReportedWithItsExitCodeAndErrorOutput) {
  const std::string dir = makeTestDirectory("HarnessFailingXvfb");
  const XvfbStandIn standIn(dir, "echo 'no screens found' >&2\nexit 3");
  const std::string failure = startFailure(20s);
  EXPECT_NE(failure.find("ended with exit code 3"), std::string::npos) << failure;
  EXPECT_NE(failure.find("no screens found"), std::string::npos) << failure;
}

// The child leaves one process in its group and one that starts a session of its own, and
// ends: both come to the test process, not to process 1. Ending the child ends its group, and
// reaps that orphan and the other once it has ended.
TEST(Harness, AChildsGroupIsEndedAndItsOrphansAreReapedByTheTestProcess) {
  const std::string dir = makeTestDirectory("HarnessOrphans");
  auto child = std::make_unique<ChildProcess>(
      "/bin/sh",
      std::vector<std::string>{"-c",
                               "sleep 1000 & echo \"$!\" >\"$1/in-group\"\n"
                               "setsid sh -c 'echo \"$$\" >\"$1/own-session\"; exec sleep 1000' "
                               "sh \"$1\" &",
                               "sh", dir},
      std::map<std::string, std::string>{}, dir);
  ASSERT_EQ(child->waitForExit(10s), std::optional<int>(0)) << child->standardError();
  const pid_t inGroup = pidWritten(dir + "/in-group");
  const pid_t ownSession = pidWritten(dir + "/own-session");
  ASSERT_GT(inGroup, 0);
  ASSERT_GT(ownSession, 0);
  for (const pid_t orphan : {inGroup, ownSession}) {
    EXPECT_TRUE(waitUntil([&] { return stateAndParent(orphan).second == getpid(); }, 10s))
        << orphan << " was not adopted by the test process";
  }
  // The harness leaves a process outside the group alone while it runs.
  kill(ownSession, SIGKILL);
  ASSERT_TRUE(waitUntil([&] { return stateAndParent(ownSession).first == 'Z'; }, 10s));

  child.reset();
  EXPECT_TRUE(isGone(inGroup)) << "the orphan in the child's group was left behind";
  EXPECT_TRUE(isGone(ownSession)) << "the ended orphan outside the group was not reaped";
  if (!isGone(inGroup)) {
    kill(inGroup, SIGKILL);
  }
}

}  // namespace
