// The statistics, parsing and table layout behind the benchmark's reported figures.
#include <gtest/gtest.h>

#include "bench/bench_stats.h"

namespace {

// Table text with every run of spaces made one, so checks do not depend on column widths.
std::string squeezed(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c != ' ' || out.empty() || out.back() != ' ') {
      out += c;
    }
  }
  return out;
}

TEST(Summarize, MedianOfOddAndEvenCountsAndNearestRankP95) {
  EXPECT_DOUBLE_EQ(summarize({5.0, 1.0, 3.0}).median, 3.0);
  EXPECT_DOUBLE_EQ(summarize({4.0, 1.0, 3.0, 2.0}).median, 2.5);

  std::vector<double> hundred;
  for (int i = 100; i >= 1; --i) {
    hundred.push_back(i);
  }
  const Summary summary = summarize(hundred);
  EXPECT_DOUBLE_EQ(summary.p95, 95.0);
  EXPECT_DOUBLE_EQ(summary.min, 1.0);
  EXPECT_DOUBLE_EQ(summary.max, 100.0);
  EXPECT_DOUBLE_EQ(summary.mean, 50.5);
  EXPECT_EQ(summary.count, 100u);

  // With 20 samples the 95th percentile is the 19th, not the largest.
  std::vector<double> twenty;
  for (int i = 1; i <= 20; ++i) {
    twenty.push_back(i);
  }
  EXPECT_DOUBLE_EQ(summarize(twenty).p95, 19.0);
}

TEST(Summarize, EmptyAndSingleSamples) {
  const Summary empty = summarize({});
  EXPECT_EQ(empty.count, 0u);
  EXPECT_DOUBLE_EQ(empty.median, 0.0);
  EXPECT_DOUBLE_EQ(empty.p95, 0.0);
  const Summary one = summarize({7.5});
  EXPECT_DOUBLE_EQ(one.median, 7.5);
  EXPECT_DOUBLE_EQ(one.p95, 7.5);
  EXPECT_DOUBLE_EQ(nearestRank({}, 0.95), 0.0);
}

TEST(StatusField, ReadsTheNamedLineOnlyAndInKilobytes) {
  const std::string status =
      "Name:\tzoravarova\nVmPeak:\t  300000 kB\nVmHWM:\t  101116 kB\nVmRSS:\t  100172 kB\n";
  EXPECT_EQ(statusFieldKiB(status, "VmHWM"), 101116);
  EXPECT_EQ(statusFieldKiB(status, "VmRSS"), 100172);
  EXPECT_EQ(statusFieldKiB(status, "Vm"), std::nullopt);
  EXPECT_EQ(statusFieldKiB(status, "VmSwap"), std::nullopt);
  EXPECT_EQ(statusFieldKiB(status, "Name"), std::nullopt) << "not a size";
  EXPECT_EQ(statusFieldKiB("VmHWM:\t12 MB\n", "VmHWM"), std::nullopt);
}

TEST(NamedValues, KeepsWellFormedLinesOnly) {
  const auto values = parseNamedValues(
      "ours/read embedded images\t0.0760\n"
      "a line without a tab\n"
      "driver/x\tnot a number\n"
      "driver/y\t1.5ms\n"
      "\t3.0\n"
      "GLFW/GLFW init\t12.7\n");
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values[0].first, "ours/read embedded images");
  EXPECT_DOUBLE_EQ(values[0].second, 0.076);
  EXPECT_EQ(values[1].first, "GLFW/GLFW init");
  EXPECT_DOUBLE_EQ(values[1].second, 12.7);
}

TEST(StageDurations, CumulativeMarksBecomeStepsAcrossRuns) {
  const std::vector<std::vector<std::pair<std::string, double>>> runs = {
      {{"system/exec", 2.0}, {"ours/read", 2.5}, {"GLFW/init", 10.0}, {"check/x", 99.0}},
      {{"system/exec", 3.0}, {"ours/read", 3.25}, {"GLFW/init", 13.0}},
      // A run that stopped early, or saw other stages, does not skew the columns.
      {{"system/exec", 1.0}, {"ours/read", 1.5}},
      {{"system/exec", 1.0}, {"ours/other", 1.5}, {"GLFW/init", 9.0}},
  };
  const std::vector<StageTimes> stages = stageDurations(runs);
  ASSERT_EQ(stages.size(), 3u);
  EXPECT_EQ(stages[0].owner, "system");
  EXPECT_EQ(stages[1].stage, "read");
  EXPECT_EQ(stages[1].owner, "ours");
  EXPECT_EQ(stages[0].milliseconds, (std::vector<double>{2.0, 3.0}));
  EXPECT_EQ(stages[1].milliseconds, (std::vector<double>{0.5, 0.25}));
  EXPECT_EQ(stages[2].milliseconds, (std::vector<double>{7.5, 9.75}));
}

TEST(Table, PadsColumnsAndRightAlignsNumbers) {
  EXPECT_EQ(formatTable({{"stage", "ms"}, {"GLFW init", "12.7"}, {"mesh", "0.028"}}),
            "stage         ms\n"
            "----------------\n"
            "GLFW init   12.7\n"
            "mesh       0.028\n");
  EXPECT_EQ(fixed(1.23456, 3), "1.235");
  EXPECT_EQ(fixed(2.0, 0), "2");
}

TEST(StartupReport, OnlyOurOwnStagesCountAgainstTheBudget) {
  // Driver and GLFW stages far over 5 ms do not miss the goal; our decode at 6 ms does.
  const std::vector<std::vector<std::pair<std::string, double>>> slowDecode = {
      {{"GLFW/window", 60.0}, {"ours/decode", 66.0}, {"mipmaps/mipmaps", 160.0}},
      {{"GLFW/window", 50.0}, {"ours/decode", 56.0}, {"mipmaps/mipmaps", 150.0}},
      {{"GLFW/window", 55.0}, {"ours/decode", 61.0}, {"mipmaps/mipmaps", 155.0}}};
  const std::string missed = startupReport(slowDecode, 0);
  EXPECT_NE(missed.find("goal no stage of our own code over 5 ms: missed (decode)"),
            std::string::npos)
      << missed;
  EXPECT_NE(missed.find("start-up over 3 fresh processes\n"), std::string::npos);
  EXPECT_NE(missed.find("OVER"), std::string::npos);

  // A single slow run does not decide it: the median does.
  const std::vector<std::vector<std::pair<std::string, double>>> oneSlowRun = {
      {{"GLFW/window", 60.0}, {"ours/decode", 62.0}, {"check/createImageTexture", 7.0}},
      {{"GLFW/window", 50.0}, {"ours/decode", 70.0}, {"check/createImageTexture", 9.0}},
      {{"GLFW/window", 55.0}, {"ours/decode", 57.0}, {"check/createImageTexture", 8.0}}};
  const std::string met = startupReport(oneSlowRun, 2);
  EXPECT_NE(met.find("goal no stage of our own code over 5 ms: met"), std::string::npos) << met;
  EXPECT_NE(met.find("(2 failed)"), std::string::npos);
  EXPECT_NE(met.find("warm, median: 8.000 ms"), std::string::npos);
  // The total is the median of the runs' sums, each run ending at its last mark.
  EXPECT_NE(squeezed(met).find("spawn to first presented frame all 62.000 57.000 70.000"),
            std::string::npos)
      << met;
}

}  // namespace
