// Peak RSS of the real viewer from /proc, and the run of the allocation census program.
#include "bench/memory_bench.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include "bench/bench_stats.h"
#include "bench/child_run.h"
#include "bench/viewer_startup.h"

namespace {

std::string readWhole(const std::string& path) {
  std::ifstream file(path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace

std::string measureViewerMemory(const std::string& viewer, double seconds) {
  const pid_t pid = startSilentChild({viewer});
  if (pid <= 0) {
    return "viewer memory: " + viewer + " could not be started\n";
  }
  const std::string status = "/proc/" + std::to_string(pid) + "/status";
  std::vector<long> samples;
  const int steps = std::max(1, static_cast<int>(seconds * 4.0));
  std::optional<long> peak;
  for (int step = 0; step < steps; ++step) {
    usleep(250000);
    const std::string text = readWhole(status);
    if (const std::optional<long> rss = statusFieldKiB(text, "VmRSS")) {
      samples.push_back(*rss);
    }
    if (const std::optional<long> hwm = statusFieldKiB(text, "VmHWM")) {
      peak = hwm;
    }
  }
  stopChild(pid, std::chrono::seconds(2));
  if (!peak || samples.empty()) {
    return "viewer memory: no /proc readings (did the viewer end early?)\n";
  }
  std::string report = "packed viewer " + viewer + ", " + fixed(seconds, 1) + " s run:\n";
  report += "  peak RSS (VmHWM): " + std::to_string(*peak) + " kB\n";
  report += "  RSS at 0.25 s: " + std::to_string(samples.front()) +
            " kB, at the end: " + std::to_string(samples.back()) + " kB\n";
  return report;
}

std::string runAllocationCensus(const std::string& census, int frames) {
  setenv("ZV_ALLOC_CENSUS", "1", 1);
  const ChildResult child = runChild({census, std::to_string(frames)}, std::chrono::seconds(120));
  unsetenv("ZV_ALLOC_CENSUS");
  if (child.exitCode != 0) {
    return "allocation census: " + census + " failed\n" + child.output;
  }
  return child.output;
}
