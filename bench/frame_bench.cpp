// Times runFrame and the two floors with a glFinish before every clock read.
#include "bench/frame_bench.h"

#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <utility>
#include <vector>

#include <glad/gl.h>
// After the loader: its header has to come first.
#include <GLFW/glfw3.h>

#include "bench/bench_stats.h"
#include "bench/instanced_floor.h"
#include "bench/viewer_startup.h"
#include "scene/cube_field.h"

namespace {

double clockMilliseconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

struct Variant {
  Variant(const char* variantName, std::function<void()> run)
      : name(variantName), frame(std::move(run)) {}
  const char* name;
  std::function<void()> frame;
  int framesRun = 0;
  std::vector<double> wall;
  std::vector<double> threadCpu;
  std::vector<double> processCpu;
};

void runBlock(Variant& variant, int frames, int warmup) {
  for (int f = 0; f < frames; ++f) {
    glFinish();
    const double wall0 = clockMilliseconds(CLOCK_MONOTONIC);
    const double thread0 = clockMilliseconds(CLOCK_THREAD_CPUTIME_ID);
    const double process0 = clockMilliseconds(CLOCK_PROCESS_CPUTIME_ID);
    variant.frame();
    glFinish();
    const double wall1 = clockMilliseconds(CLOCK_MONOTONIC);
    const double thread1 = clockMilliseconds(CLOCK_THREAD_CPUTIME_ID);
    const double process1 = clockMilliseconds(CLOCK_PROCESS_CPUTIME_ID);
    if (variant.framesRun++ >= warmup) {
      variant.wall.push_back(wall1 - wall0);
      variant.threadCpu.push_back(thread1 - thread0);
      variant.processCpu.push_back(process1 - process0);
    }
  }
}

std::vector<std::uint8_t> readBack() {
  std::vector<std::uint8_t> pixels(800 * 600 * 4);
  glReadPixels(0, 0, 800, 600, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}

// How far the floor's picture is from the viewer's: pixels that differ, and the largest
// difference in any channel.
std::string comparePictures(const BenchViewer& viewer, const InstancedField& instanced) {
  drawFrame(viewer.resources());
  glFinish();
  const std::vector<std::uint8_t> viewerPixels = readBack();
  instanced.draw();
  glFinish();
  const std::vector<std::uint8_t> floorPixels = readBack();
  int differing = 0;
  int largest = 0;
  for (std::size_t p = 0; p < viewerPixels.size(); p += 4) {
    int pixelLargest = 0;
    for (std::size_t c = 0; c < 3; ++c) {
      pixelLargest = std::max(pixelLargest, std::abs(viewerPixels[p + c] - floorPixels[p + c]));
    }
    differing += pixelLargest > 0 ? 1 : 0;
    largest = std::max(largest, pixelLargest);
  }
  return "instanced floor against the viewer's picture: " + std::to_string(differing) +
         " of 480000 pixels differ, by at most " + std::to_string(largest) + " of 255\n";
}

// Main-thread CPU of the viewer frame's parts, each the median over `repeats`: where the time of
// runFrame's calls goes on this thread. The uniform-only and draw-only loops are diagnostics that
// split the driver's per-cube cost; their pictures are never presented.
std::string mainThreadParts(const BenchViewer& viewer, const InstancedField& instanced,
                            int repeats) {
  const FrameResources resources = viewer.resources();
  const GLint modelLocation = glGetUniformLocation(resources.program.programId, "model");
  const glm::mat4 someModel = buildCubeModelMatrix(0, kCubeField[0], kCubeField[1], kCubeField[2]);
  std::vector<double> matrices, lookups, uniforms, draws, draw, present, instancedDraw;
  volatile float sink = 0.0f;
  for (int r = 0; r < repeats; ++r) {
    glFinish();
    double t0 = clockMilliseconds(CLOCK_THREAD_CPUTIME_ID);
    for (std::uint32_t i = 0; i < kCubeField.size(); i += 3) {
      sink =
          sink + buildCubeModelMatrix(i, kCubeField[i], kCubeField[i + 1], kCubeField[i + 2])[3][0];
    }
    double t1 = clockMilliseconds(CLOCK_THREAD_CPUTIME_ID);
    matrices.push_back(t1 - t0);

    t0 = clockMilliseconds(CLOCK_THREAD_CPUTIME_ID);
    for (std::uint32_t i = 0; i < kCubeField.size(); i += 3) {
      sink = sink + static_cast<float>(glGetUniformLocation(resources.program.programId, "model"));
    }
    t1 = clockMilliseconds(CLOCK_THREAD_CPUTIME_ID);
    lookups.push_back(t1 - t0);

    resources.program.activate();
    glBindVertexArray(resources.mesh.cubeVertexArray);
    t0 = clockMilliseconds(CLOCK_THREAD_CPUTIME_ID);
    for (std::uint32_t i = 0; i < kCubeField.size(); i += 3) {
      glUniformMatrix4fv(modelLocation, 1, GL_FALSE, &someModel[0][0]);
    }
    t1 = clockMilliseconds(CLOCK_THREAD_CPUTIME_ID);
    uniforms.push_back(t1 - t0);
    glFinish();
    t0 = clockMilliseconds(CLOCK_THREAD_CPUTIME_ID);
    for (std::uint32_t i = 0; i < kCubeField.size(); i += 3) {
      glDrawArrays(GL_TRIANGLES, 0, 36);
    }
    t1 = clockMilliseconds(CLOCK_THREAD_CPUTIME_ID);
    draws.push_back(t1 - t0);
    glFinish();

    t0 = clockMilliseconds(CLOCK_THREAD_CPUTIME_ID);
    instanced.draw();
    t1 = clockMilliseconds(CLOCK_THREAD_CPUTIME_ID);
    instancedDraw.push_back(t1 - t0);
    glFinish();

    // runFrame's calls in its order, with a clock read between the draw and the present.
    t0 = clockMilliseconds(CLOCK_THREAD_CPUTIME_ID);
    drawFrame(resources);
    t1 = clockMilliseconds(CLOCK_THREAD_CPUTIME_ID);
    glfwSwapBuffers(viewer.window);
    glfwPollEvents();
    glFinish();
    const double t2 = clockMilliseconds(CLOCK_THREAD_CPUTIME_ID);
    draw.push_back(t1 - t0);
    present.push_back(t2 - t1);
  }
  const int cubes = static_cast<int>(kCubeField.size() / 3);
  std::vector<std::vector<std::string>> rows = {
      {"viewer frame, main-thread CPU (ms)", "median", "per cube (us)"}};
  const auto row = [&](const char* name, const std::vector<double>& samples) {
    const double median = summarize(samples).median;
    rows.push_back({name, fixed(median, 3), fixed(median * 1000.0 / cubes, 3)});
  };
  row("our model matrices (1019 x buildCubeModelMatrix)", matrices);
  row("1019 x glGetUniformLocation(\"model\")", lookups);
  row("diagnostic: 1019 x glUniformMatrix4fv alone", uniforms);
  row("diagnostic: 1019 x glDrawArrays alone, one matrix", draws);
  row("drawFrame: all calls issued (llvmpipe binning included)", draw);
  row("glfwSwapBuffers + glfwPollEvents + glFinish", present);
  row("instanced floor: all calls issued", instancedDraw);
  return formatTable(rows);
}

}  // namespace

std::string runFrameBench(const FrameBenchSettings& settings) {
  BenchViewer viewer;
  if (!startViewer(
          viewer, [](const char*, const char*) {}, false)) {
    return {};
  }
  std::string report;
  report +=
      std::string("GL_RENDERER: ") + reinterpret_cast<const char*>(glGetString(GL_RENDERER)) + "\n";
  report +=
      std::string("GL_VERSION: ") + reinterpret_cast<const char*>(glGetString(GL_VERSION)) + "\n";

  {
    const InstancedField instanced(viewer);
    if (!instanced.built()) {
      report += "instanced floor: its program did not link\n";
    }
    report += comparePictures(viewer, instanced);

    const FrameResources resources = viewer.resources();
    std::vector<Variant> variants;
    variants.emplace_back("viewer runFrame", [&] { runFrame(viewer.window, resources); });
    variants.emplace_back("floor: clear + swap", [&] { runClearFrame(viewer); });
    variants.emplace_back("floor: one instanced draw", [&] { instanced.runFrame(); });

    const int total = settings.warmupFrames + settings.measuredFrames;
    const int block = std::max(1, settings.blockFrames);
    for (int done = 0, turn = 0; done < total; done += block, ++turn) {
      const int frames = std::min(block, total - done);
      // The order turns each block, so no variant always follows the same one.
      for (std::size_t k = 0; k < variants.size(); ++k) {
        runBlock(variants[(k + static_cast<std::size_t>(turn)) % variants.size()], frames,
                 settings.warmupFrames);
      }
    }

    const Summary viewerWall = summarize(variants[0].wall);
    std::vector<std::vector<std::string>> rows = {{"frame (ms)", "frames", "median", "p95",
                                                   "main CPU med", "main CPU p95",
                                                   "process CPU med", "viewer / this"}};
    for (const Variant& variant : variants) {
      const Summary wall = summarize(variant.wall);
      const Summary thread = summarize(variant.threadCpu);
      const Summary process = summarize(variant.processCpu);
      rows.push_back({variant.name, std::to_string(wall.count), fixed(wall.median, 3),
                      fixed(wall.p95, 3), fixed(thread.median, 3), fixed(thread.p95, 3),
                      fixed(process.median, 3),
                      wall.median > 0.0 ? fixed(viewerWall.median / wall.median, 2) : "-"});
    }
    report += formatTable(rows);

    const Summary floorWall = summarize(variants[2].wall);
    const Summary viewerThread = summarize(variants[0].threadCpu);
    const double ratio = floorWall.median > 0.0 ? viewerWall.median / floorWall.median : 0.0;
    report += "goal viewer frame <= 1.10 x instanced floor: " +
              std::string(ratio <= 1.10 ? "met" : "missed") + " (" + fixed(ratio, 3) + " x)\n";
    report += "goal main-thread CPU per frame < 2.0 ms: " +
              std::string(viewerThread.median < 2.0 ? "met" : "missed") + " (median " +
              fixed(viewerThread.median, 3) + " ms)\n";
    report += mainThreadParts(viewer, instanced, std::max(20, settings.measuredFrames / 3));
  }
  stopViewer(viewer);
  return report;
}
