// Start-up stage timings: the child's marks and the parent's medians over fresh processes.
#include "bench/startup_bench.h"

#include <cstdio>

#include "app/embedded_images.h"
#include "bench/bench_stats.h"
#include "bench/child_run.h"
#include "bench/viewer_startup.h"
#include "render/image_texture.h"

namespace {

constexpr double kOwnStageBudgetMs = 5.0;

double millisecondsSince(long long startNanoseconds) {
  return static_cast<double>(monotonicNanoseconds() - startNanoseconds) / 1e6;
}

}  // namespace

int runStartupChild(long long spawnNanoseconds) {
  const double mainEntered = millisecondsSince(spawnNanoseconds);
  // Kept in memory until the end, so printing costs no stage anything.
  std::string marks =
      "system/exec, libraries, static initialisation\t" + fixed(mainEntered, 4) + "\n";
  BenchViewer viewer;
  const bool started = startViewer(
      viewer,
      [&](const char* stage, const char* owner) {
        const double at = millisecondsSince(spawnNanoseconds);
        marks += std::string(owner) + "/" + stage + "\t" + fixed(at, 4) + "\n";
      },
      true);
  if (!started) {
    return 1;
  }
  // The real createImageTexture on both images, warm, to compare with the replayed steps.
  const long long before = monotonicNanoseconds();
  createImageTexture(texture1Bytes, GL_RGB);
  createImageTexture(texture2Bytes, GL_RGBA);
  glFinish();
  marks += "check/createImageTexture x2, warm\t" + fixed(millisecondsSince(before), 4) + "\n";
  stopViewer(viewer);
  std::fputs(marks.c_str(), stdout);
  return 0;
}

std::string runStartupBench(const std::string& self, int runs) {
  std::vector<std::vector<std::pair<std::string, double>>> results;
  std::vector<double> checks;
  int failed = 0;
  for (int run = 0; run < runs; ++run) {
    const long long spawn = monotonicNanoseconds();
    const ChildResult child =
        runChild({self, "--startup-child", std::to_string(spawn)}, std::chrono::seconds(60));
    if (child.exitCode != 0) {
      ++failed;
      continue;
    }
    std::vector<std::pair<std::string, double>> marks = parseNamedValues(child.output);
    for (const auto& mark : marks) {
      if (mark.first.rfind("check/", 0) == 0) {
        checks.push_back(mark.second);
      }
    }
    results.push_back(std::move(marks));
  }

  const std::vector<StageTimes> stages = stageDurations(results);
  std::vector<std::vector<std::string>> rows = {
      {"start-up stage (ms)", "whose", "median", "min", "max", "over 5 ms (ours)"}};
  std::vector<double> totals(stages.empty() ? 0 : stages.front().milliseconds.size(), 0.0);
  std::string overBudget;
  for (const StageTimes& stage : stages) {
    const Summary summary = summarize(stage.milliseconds);
    const bool counted = stage.owner == "ours";
    const bool over = counted && summary.median > kOwnStageBudgetMs;
    if (over) {
      overBudget += (overBudget.empty() ? "" : ", ") + stage.stage;
    }
    rows.push_back({stage.stage, stage.owner, fixed(summary.median, 3), fixed(summary.min, 3),
                    fixed(summary.max, 3), counted ? (over ? "OVER" : "no") : "-"});
    for (std::size_t r = 0; r < totals.size() && r < stage.milliseconds.size(); ++r) {
      totals[r] += stage.milliseconds[r];
    }
  }
  const Summary total = summarize(totals);
  rows.push_back({"spawn to first presented frame", "all", fixed(total.median, 3),
                  fixed(total.min, 3), fixed(total.max, 3), ""});
  std::string report = "start-up over " + std::to_string(total.count) + " fresh processes" +
                       (failed > 0 ? " (" + std::to_string(failed) + " failed)" : "") + "\n";
  report += formatTable(rows);
  if (!checks.empty()) {
    report += "real createImageTexture on both images, warm, median: " +
              fixed(summarize(checks).median, 3) + " ms\n";
  }
  report += "goal no stage of our own code over 5 ms: " +
            (overBudget.empty() ? std::string("met") : "missed (" + overBudget + ")") + "\n";
  return report;
}
