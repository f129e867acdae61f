// The start-up benchmark: fresh processes timed from spawn to the first presented frame.
#pragma once

#include <string>

// In the child: replays start-up and prints "owner/stage<TAB>milliseconds since spawn" after
// each step, `spawnNanoseconds` being the parent's CLOCK_MONOTONIC just before posix_spawn.
// Returns the exit code.
int runStartupChild(long long spawnNanoseconds);

// In the parent: `runs` fresh children of `self`; the printed table.
std::string runStartupBench(const std::string& self, int runs);
