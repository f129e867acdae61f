// Child processes of the benchmark: output, exit codes and the time limit.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "bench/child_run.h"

namespace {

using namespace std::chrono_literals;

TEST(RunChild, CollectsOutputAndExitCode) {
  const ChildResult result = runChild({"/bin/sh", "-c", "echo one; echo two; exit 3"}, 10s);
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_EQ(result.output, "one\ntwo\n");
}

TEST(RunChild, KillsAChildThatOverrunsItsLimit) {
  const auto start = std::chrono::steady_clock::now();
  const ChildResult result = runChild({"/bin/sh", "-c", "echo started; exec sleep 30"}, 300ms);
  EXPECT_TRUE(result.timedOut);
  EXPECT_EQ(result.exitCode, std::nullopt);
  EXPECT_EQ(result.output, "started\n");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST(RunChild, AChildThatClosesItsOutputButLingersIsEndedWithWhatItStarted) {
  const std::string pidFile = ::testing::TempDir() + "/zv_bench_grandchild.pid";
  const auto start = std::chrono::steady_clock::now();
  const ChildResult result = runChild(
      {"/bin/sh", "-c", "exec >/dev/null; sleep 30 & echo $! >" + pidFile + "; wait"}, 300ms);
  EXPECT_TRUE(result.timedOut);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);

  std::ifstream file(pidFile);
  pid_t grandchild = 0;
  ASSERT_TRUE(file >> grandchild);
  // Orphaned by the kill, it is reaped by whoever adopts it; give that a moment.
  bool gone = false;
  for (int i = 0; i < 200 && !gone; ++i) {
    gone = kill(grandchild, 0) == -1;
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_TRUE(gone) << "the grandchild went with the child's process group";
  std::remove(pidFile.c_str());
}

TEST(RunChild, AMissingProgramGivesNoExitCode) {
  const ChildResult result = runChild({"/nonexistent/program"}, 2s);
  EXPECT_NE(result.exitCode, 0);
  EXPECT_TRUE(runChild({}, 1s).output.empty());
}

TEST(StopChild, EndsAChildThatIgnoresTerminate) {
  const pid_t pid =
      startSilentChild({"/bin/sh", "-c", "trap '' TERM; while :; do sleep 0.05; done"});
  ASSERT_GT(pid, 0);
  const auto start = std::chrono::steady_clock::now();
  stopChild(pid, 200ms);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(kill(pid, 0), -1) << "reaped, so the PID is gone";
}

}  // namespace
