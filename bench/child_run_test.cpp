// Child processes of the benchmark: output, exit codes and the time limit.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "bench/child_run.h"

namespace {

using namespace std::chrono_literals;

// How long a state the test waits for may take on a loaded machine before it counts as missing.
constexpr auto kPatience = 30s;

// A path of this test's own in the test folder, removed with the object.
class TempPath {
 public:
  explicit TempPath(const std::string& name)
      : path_(::testing::TempDir() + "zv-child-run-" + std::to_string(getpid()) + "-" + name) {
    std::filesystem::remove(path_);
  }
  ~TempPath() { std::filesystem::remove(path_); }
  TempPath(const TempPath&) = delete;
  TempPath& operator=(const TempPath&) = delete;
  const std::string& str() const { return path_; }
  bool exists() const { return std::filesystem::exists(path_); }

 private:
  std::string path_;
};

// Whether `pid` has ended: gone, or a zombie left for a parent that does not reap it (PID 1 may
// be anything).
bool hasEnded(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) {
    return true;
  }
  const std::size_t afterName = line.rfind(')');
  return afterName != std::string::npos && afterName + 2 < line.size() &&
         line[afterName + 2] == 'Z';
}

template <typename Condition>
bool waitFor(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

TEST(RunChild, CollectsOutputAndExitCode) {
  const ChildResult result = runChild({"/bin/sh", "-c", "echo one; echo two; exit 3"}, 60s);
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_EQ(result.output, "one\ntwo\n");
}

// A child that would leave a mark if it were let run to its end. The limit only has to let the
// shell print; a killed child never reaches its mark.
TEST(RunChild, KillsAChildThatOverrunsItsLimit) {
  const TempPath mark("overran");
  const ChildResult result =
      runChild({"/bin/sh", "-c", "echo started; sleep 30; : > \"$1\"", "sh", mark.str()}, 2s);
  EXPECT_TRUE(result.timedOut);
  EXPECT_EQ(result.exitCode, std::nullopt);
  EXPECT_EQ(result.output, "started\n");
  EXPECT_FALSE(mark.exists()) << "the child ran to its end instead of being killed";
}

TEST(RunChild, AChildThatClosesItsOutputButLingersIsEndedWithWhatItStarted) {
  const TempPath pidFile("grandchild.pid");
  const TempPath mark("lingered");
  const ChildResult result =
      runChild({"/bin/sh", "-c", "exec >/dev/null; (sleep 30; : > \"$2\") & echo $! > \"$1\"; wait",
                "sh", pidFile.str(), mark.str()},
               2s);
  EXPECT_TRUE(result.timedOut);

  std::ifstream file(pidFile.str());
  pid_t grandchild = 0;
  ASSERT_TRUE(file >> grandchild) << "the shell wrote no PID before the limit";
  EXPECT_TRUE(waitFor([grandchild] { return hasEnded(grandchild); }))
      << "the grandchild went with the child's process group";
  EXPECT_FALSE(mark.exists()) << "the grandchild ran to its end instead of being killed";
}

TEST(RunChild, AMissingProgramGivesNoExitCode) {
  const ChildResult result = runChild({"/nonexistent/program"}, 2s);
  EXPECT_NE(result.exitCode, 0);
  EXPECT_TRUE(runChild({}, 1s).output.empty());
}

TEST(StopChild, EndsAChildThatIgnoresTerminate) {
  const TempPath ready("ignoring");
  // The mark comes after the trap, so SIGTERM cannot arrive before it is ignored.
  const pid_t pid =
      startSilentChild({"/bin/sh", "-c", "trap '' TERM; : > \"$1\"; while :; do sleep 0.05; done",
                        "sh", ready.str()});
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(waitFor([&ready] { return ready.exists(); })) << "the child never started";
  stopChild(pid, 200ms);
  EXPECT_EQ(kill(pid, 0), -1) << "reaped, so the PID is gone";
}

}  // namespace
