// The memory benchmark: the packed viewer's peak RSS, and the census program's allocation table.
#pragma once

#include <string>

// Runs `viewer` for `seconds` and reports its peak resident set (VmHWM) and its RSS over time.
std::string measureViewerMemory(const std::string& viewer, double seconds);

// Runs the census program (with the census switched on) for `frames` frames; its table.
std::string runAllocationCensus(const std::string& census, int frames);
