// Summaries of timing samples, the /proc readings the benchmarks take, and the printed tables.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct Summary {
  std::size_t count = 0;
  double median = 0.0;
  double p95 = 0.0;
  double mean = 0.0;
  double min = 0.0;
  double max = 0.0;
};

// Median of an even count is the mean of the two middle samples; p95 is the nearest-rank
// percentile, so it is always one of the samples. An empty set summarises to zeros.
Summary summarize(std::vector<double> samples);

// Nearest-rank percentile (0 < fraction <= 1) of samples already sorted ascending.
double nearestRank(const std::vector<double>& sorted, double fraction);

// The value in kB of a "Name:   123 kB" line of /proc/<pid>/status text; nullopt if absent.
std::optional<long> statusFieldKiB(const std::string& statusText, const std::string& field);

// Lines "name<TAB>number" as printed by a child; other lines are skipped.
std::vector<std::pair<std::string, double>> parseNamedValues(const std::string& text);

// Columns padded to their widest cell, two spaces apart; the first row is the header and is
// followed by a rule. Cells after the first are right-aligned (they are numbers).
std::string formatTable(const std::vector<std::vector<std::string>>& rows);

// Fixed-point text with `decimals` digits after the point.
std::string fixed(double value, int decimals);

struct StageTimes {
  std::string owner;
  std::string stage;
  std::vector<double> milliseconds;  // one per run
};

// Turns each run's cumulative marks, named "owner/stage", into per-stage durations, stages in
// first-seen order; "check/" marks are not stages. A run whose stages differ in order or number
// from the first run's is left out.
std::vector<StageTimes> stageDurations(
    const std::vector<std::vector<std::pair<std::string, double>>>& runs);

// The start-up table from the runs' marks: per stage its owner, median, min and max, and whether
// a stage of ours ("ours" owner) has a median over 5 ms; then the spawn-to-first-frame total, the
// median of the "check/" marks, and the goal's verdict. `failed` runs are named in the heading.
std::string startupReport(const std::vector<std::vector<std::pair<std::string, double>>>& runs,
                          int failed);
