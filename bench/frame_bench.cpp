// The frame benchmarks: the viewer's runFrame against a clear-and-swap floor and a one-draw floor,
// in one window and context, on Google Benchmark.
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <GLFW/glfw3.h>
#include <benchmark/benchmark.h>
#include <glad/gl.h>

#include "app/viewer.h"
#include "bench/frame_context.h"
#include "bench/instanced_floor.h"

namespace {

double secondsOf(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// One frame per iteration, from a finished pipeline to a finished pipeline: the glFinish on each
// side keeps llvmpipe's rasteriser threads from carrying work across the clock reads.
void timeFrames(benchmark::State& state, const std::function<void()>& frame) {
  double mainThreadCpu = 0.0;
  double processCpu = 0.0;
  for (auto _ : state) {
    glFinish();
    const double wall = secondsOf(CLOCK_MONOTONIC);
    const double thread = secondsOf(CLOCK_THREAD_CPUTIME_ID);
    const double process = secondsOf(CLOCK_PROCESS_CPUTIME_ID);
    frame();
    glFinish();
    state.SetIterationTime(secondsOf(CLOCK_MONOTONIC) - wall);
    mainThreadCpu += secondsOf(CLOCK_THREAD_CPUTIME_ID) - thread;
    processCpu += secondsOf(CLOCK_PROCESS_CPUTIME_ID) - process;
  }
  constexpr auto kPerFrame = benchmark::Counter::kAvgIterations;
  state.counters["main_thread_cpu_ms"] = benchmark::Counter(mainThreadCpu * 1e3, kPerFrame);
  state.counters["process_cpu_ms"] = benchmark::Counter(processCpu * 1e3, kPerFrame);
}

// The nearest-rank 95th percentile: the smallest sample that at least 95% of them do not exceed.
double percentile95(const std::vector<double>& samples) {
  if (samples.empty()) {
    return 0.0;
  }
  std::vector<double> sorted = samples;
  std::sort(sorted.begin(), sorted.end());
  const auto rank = static_cast<std::size_t>(std::ceil(0.95 * static_cast<double>(sorted.size())));
  return sorted[std::max<std::size_t>(rank, 1) - 1];
}

std::vector<std::uint8_t> readBack() {
  std::vector<std::uint8_t> pixels(std::size_t{kWindowWidth} * kWindowHeight * 4);
  glReadPixels(0, 0, kWindowWidth, kWindowHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}

// Pixels whose colour differs between the viewer's frame and the instanced floor's.
int differingPixels(const FrameContext& context, const InstancedField& instanced) {
  drawFrame(context.resources());
  const std::vector<std::uint8_t> viewerPixels = readBack();
  instanced.draw();
  const std::vector<std::uint8_t> floorPixels = readBack();
  int differing = 0;
  for (std::size_t p = 0; p < viewerPixels.size(); p += 4) {
    differing += std::equal(&viewerPixels[p], &viewerPixels[p + 3], &floorPixels[p]) ? 0 : 1;
  }
  return differing;
}

// Google Benchmark has no warm-up for a fixed iteration count, so the frames warm up here first:
// llvmpipe compiles its shader variants in the first frames of each kind.
void registerFrame(const char* name, const std::function<void()>& frame) {
  for (int warmUp = 0; warmUp < 100; ++warmUp) {
    frame();
  }
  benchmark::RegisterBenchmark(name, [frame](benchmark::State& state) { timeFrames(state, frame); })
      ->UseManualTime()
      ->Iterations(1)
      ->Unit(benchmark::kMillisecond)
      ->ComputeStatistics("p95", percentile95);
}

int runBenchmarks(int argc, char** argv, const FrameContext& context) {
  const InstancedField instanced(context);
  const int differing = differingPixels(context, instanced);
  // A program that failed to build draws nothing, which this sees as well.
  if (differing != 0) {
    std::fprintf(stderr,
                 "zoravarova-frame-bench: the instanced floor does not draw the viewer's picture "
                 "(%d of %d pixels differ)\n",
                 differing, kWindowWidth * kWindowHeight);
    return 1;
  }
  benchmark::AddCustomContext("gl_renderer",
                              reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
  benchmark::AddCustomContext("gl_version", reinterpret_cast<const char*>(glGetString(GL_VERSION)));
  benchmark::AddCustomContext("zoravarova_build_type", ZV_BUILD_TYPE);
  benchmark::AddCustomContext("instanced_floor_differing_pixels", "0");

  // One frame per repetition, so the statistics are those of single frames, and the repetitions
  // of all three interleaved at random, so that a change of load hits each of them alike.
  const FrameResources resources = context.resources();
  registerFrame("viewer_runFrame", [&] { runFrame(context.window, resources); });
  registerFrame("floor_clear_swap", [&] { runClearFrame(context); });
  registerFrame("floor_instanced_draw", [&] { instanced.runFrame(); });

  // Our defaults come first, so that the same flags given on the command line win.
  std::vector<char*> arguments = {argv[0]};
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  std::string repetitions = "--benchmark_repetitions=600";
  std::string aggregates = "--benchmark_display_aggregates_only=true";
  arguments.insert(arguments.end(), {interleave.data(), repetitions.data(), aggregates.data()});
  arguments.insert(arguments.end(), argv + 1, argv + argc);
  int count = static_cast<int>(arguments.size());
  benchmark::Initialize(&count, arguments.data());
  if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) {
    return 2;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  FrameContext context;
  if (!openFrameContext(context)) {
    std::fprintf(stderr, "zoravarova-frame-bench: no window with a GL 3.3 core context\n");
    return 1;
  }
  const int status = runBenchmarks(argc, argv, context);
  closeFrameContext(context);
  return status;
}
