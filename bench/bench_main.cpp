// Entry of the benchmark: runs the frame, start-up and memory measurements and prints their
// tables; also the entry of its own child processes.
#include <sys/utsname.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "bench/bench_stats.h"
#include "bench/child_run.h"
#include "bench/frame_bench.h"
#include "bench/memory_bench.h"
#include "bench/startup_bench.h"

namespace {

struct Options {
  bool smoke = false;
  FrameBenchSettings frames;
  int startupRuns = 15;
  double rssSeconds = 5.0;
  int censusFrames = 300;
  std::string viewer = ZV_VIEWER;
  std::string census = ZV_CENSUS;
};

const char kUsage[] =
    "usage: zoravarova-bench [--smoke] [--frames N] [--warmup N] [--startup-runs N]\n"
    "                        [--rss-seconds S] [--viewer PATH] [--census PATH]\n";

std::string firstLineWith(const std::string& path, const std::string& key) {
  std::ifstream file(path);
  for (std::string line; std::getline(file, line);) {
    if (line.rfind(key, 0) == 0) {
      const std::size_t colon = line.find(':');
      return colon == std::string::npos ? line : line.substr(colon + 2);
    }
  }
  return "unknown";
}

std::string loadAverage() {
  std::ifstream file("/proc/loadavg");
  std::string one, five, fifteen;
  file >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

std::string machine() {
  char date[64];
  const std::time_t now = std::time(nullptr);
  std::strftime(date, sizeof(date), "%Y-%m-%d %H:%M UTC", std::gmtime(&now));
  utsname system{};
  uname(&system);
  std::string text = "date: " + std::string(date) + "\n";
  text += "CPU: " + firstLineWith("/proc/cpuinfo", "model name") + ", " +
          std::to_string(sysconf(_SC_NPROCESSORS_ONLN)) + " cores online\n";
  text += "kernel: " + std::string(system.sysname) + " " + system.release + "\n";
  text +=
      "display: " + std::string(std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "(none)") + "\n";
  text += "load average at start: " + loadAverage() + "\n";
  return text;
}

bool parse(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    const bool hasValue = i + 1 < argc;
    if (flag == "--smoke") {
      options.smoke = true;
      options.frames.warmupFrames = 20;
      options.frames.measuredFrames = 60;
      options.frames.blockFrames = 20;
      options.startupRuns = 2;
      options.rssSeconds = 1.0;
      options.censusFrames = 20;
    } else if (flag == "--frames" && hasValue) {
      options.frames.measuredFrames = std::atoi(argv[++i]);
    } else if (flag == "--warmup" && hasValue) {
      options.frames.warmupFrames = std::atoi(argv[++i]);
    } else if (flag == "--startup-runs" && hasValue) {
      options.startupRuns = std::atoi(argv[++i]);
    } else if (flag == "--rss-seconds" && hasValue) {
      options.rssSeconds = std::atof(argv[++i]);
    } else if (flag == "--viewer" && hasValue) {
      options.viewer = argv[++i];
    } else if (flag == "--census" && hasValue) {
      options.census = argv[++i];
    } else {
      return false;
    }
  }
  return options.frames.measuredFrames > 0 && options.frames.warmupFrames >= 0 &&
         options.startupRuns > 0 && options.rssSeconds > 0.0;
}

std::string ownPath() {
  char path[PATH_MAX] = {};
  const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
  return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : "";
}

void section(const std::string& title, const std::string& body) {
  std::cout << "\n== " << title << " ==\n" << body << std::flush;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--startup-child") == 0) {
    return runStartupChild(std::atoll(argv[2]));
  }
  if (argc == 5 && std::strcmp(argv[1], "--frame-child") == 0) {
    FrameBenchSettings settings;
    settings.warmupFrames = std::atoi(argv[2]);
    settings.measuredFrames = std::atoi(argv[3]);
    settings.blockFrames = std::atoi(argv[4]);
    const std::string report = runFrameBench(settings);
    std::fputs(report.c_str(), stdout);
    return report.empty() ? 1 : 0;
  }

  Options options;
  if (!parse(argc, argv, options)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string self = ownPath();
  bool ok = true;
  std::cout << "== machine ==\n" << machine() << std::flush;

  const ChildResult frames = runChild(
      {self, "--frame-child", std::to_string(options.frames.warmupFrames),
       std::to_string(options.frames.measuredFrames), std::to_string(options.frames.blockFrames)},
      std::chrono::minutes(10));
  ok = ok && frames.exitCode == 0;
  section("frame, " + std::to_string(options.frames.measuredFrames) + " frames per kind after " +
              std::to_string(options.frames.warmupFrames) + " warm-up",
          frames.exitCode == 0 ? frames.output : "the frame benchmark failed\n");

  const std::string startup = runStartupBench(self, options.startupRuns);
  ok = ok && startup.find("failed") == std::string::npos;
  section("start-up", startup);

  std::string memory = measureViewerMemory(options.viewer, options.rssSeconds);
  const std::string census = runAllocationCensus(options.census, options.censusFrames);
  ok = ok && memory.find("peak RSS") != std::string::npos &&
       census.find("failed") == std::string::npos;
  section("memory", memory +
                        "allocation census (malloc, calloc and realloc replaced in the "
                        "census program; a call is ours when its stack holds no library "
                        "frame but libc, libstdc++ and libgcc ones):\n" +
                        census);

  std::cout << "\nload average at end: " << loadAverage() << "\n";
  return ok ? 0 : 1;
}
