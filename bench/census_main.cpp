// Entry of the allocation census: the viewer's start-up and frames with every stage's
// allocations counted.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "bench/alloc_census.h"
#include "bench/bench_stats.h"
#include "bench/instanced_floor.h"
#include "bench/viewer_startup.h"

namespace {

constexpr int kBookkeepingStage = 63;
constexpr int kComparisonStage = 62;

std::string kib(std::uint64_t bytes) {
  return fixed(static_cast<double>(bytes) / 1024.0, 1);
}

int runCensus(int frames) {
  if (!allocationCensusActive()) {
    std::fputs("the census counts only with ZV_ALLOC_CENSUS=1 in the environment\n", stderr);
    return 2;
  }
  // Stage 0 closes here: it holds everything before main.
  setAllocationStage(kBookkeepingStage);
  std::vector<std::string> names;
  int stage = 0;
  // The census's own bookkeeping is counted apart, so it never lands in a viewer stage.
  const auto next = [&](const char* name) {
    setAllocationStage(kBookkeepingStage);
    names.resize(static_cast<std::size_t>(stage) + 1);
    names[static_cast<std::size_t>(stage)] = name;
    setAllocationStage(++stage);
  };
  const std::string framesName = std::to_string(frames) + " more frames";
  next("before main (libraries, static initialisation)");
  BenchViewer viewer;
  if (!startViewer(
          viewer, [&](const char* name, const char*) { next(name); }, true)) {
    return 1;
  }
  for (int f = 0; f < frames; ++f) {
    runFrame(viewer.window, viewer.resources());
  }
  glFinish();
  const int frameStage = stage;
  next(framesName.c_str());

  // The instanced floor's frames, for comparison only: counted apart, out of the table.
  setAllocationStage(kBookkeepingStage);
  std::optional<InstancedField> instanced(std::in_place, viewer);
  setAllocationStage(kComparisonStage);
  for (int f = 0; f < frames; ++f) {
    instanced->runFrame();
  }
  glFinish();
  setAllocationStage(kBookkeepingStage);
  instanced.reset();
  setAllocationStage(stage);
  stopViewer(viewer);
  next("shutdown");

  std::vector<std::vector<std::string>> rows = {
      {"allocations by stage", "own KiB", "own calls", "library KiB", "library calls"}};
  AllocationCount own;
  for (int s = 0; s < stage; ++s) {
    const AllocationCount count = allocationsOfStage(s);
    own.ownBytes += count.ownBytes;
    own.ownCalls += count.ownCalls;
    own.otherBytes += count.otherBytes;
    own.otherCalls += count.otherCalls;
    rows.push_back({names[static_cast<std::size_t>(s)], kib(count.ownBytes),
                    std::to_string(count.ownCalls), kib(count.otherBytes),
                    std::to_string(count.otherCalls)});
  }
  rows.push_back({"total", kib(own.ownBytes), std::to_string(own.ownCalls), kib(own.otherBytes),
                  std::to_string(own.otherCalls)});
  const AllocationCount perFrames = allocationsOfStage(frameStage);
  std::string report = formatTable(rows);
  report +=
      "own code per steady frame: " + fixed(static_cast<double>(perFrames.ownBytes) / frames, 1) +
      " bytes in " + fixed(static_cast<double>(perFrames.ownCalls) / frames, 2) + " calls\n";
  const AllocationCount floorFrames = allocationsOfStage(kComparisonStage);
  report += "library per steady frame: viewer " +
            fixed(static_cast<double>(perFrames.otherBytes) / 1024.0 / frames, 1) + " KiB in " +
            fixed(static_cast<double>(perFrames.otherCalls) / frames, 1) +
            " calls; instanced floor " +
            fixed(static_cast<double>(floorFrames.otherBytes) / 1024.0 / frames, 1) + " KiB in " +
            fixed(static_cast<double>(floorFrames.otherCalls) / frames, 1) + " calls\n";
  std::fputs(report.c_str(), stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::atoi(argv[1]) : 300;
  return runCensus(frames > 0 ? frames : 300);
}
