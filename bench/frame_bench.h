// The frame benchmark: the viewer's frame beside its two floors, in one window and context.
#pragma once

#include <string>

struct FrameBenchSettings {
  int warmupFrames = 100;    // per variant, not measured
  int measuredFrames = 600;  // per variant
  int blockFrames = 50;      // variants take turns in blocks of this many frames
};

// Runs the three kinds of frame in turn and returns the printed report; empty if the window,
// context or loader could not be had.
std::string runFrameBench(const FrameBenchSettings& settings);
