// Start-up stage timings: the child's marks and the parent's medians over fresh processes.
#include "bench/startup_bench.h"

#include <cstdio>

#include "app/embedded_images.h"
#include "bench/bench_stats.h"
#include "bench/child_run.h"
#include "bench/viewer_startup.h"
#include "render/image_texture.h"

namespace {

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
  int failed = 0;
  for (int run = 0; run < runs; ++run) {
    const long long spawn = monotonicNanoseconds();
    const ChildResult child =
        runChild({self, "--startup-child", std::to_string(spawn)}, std::chrono::seconds(60));
    if (child.exitCode != 0) {
      ++failed;
      continue;
    }
    results.push_back(parseNamedValues(child.output));
  }
  return startupReport(results, failed);
}
