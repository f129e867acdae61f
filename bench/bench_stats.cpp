// Sample statistics, /proc parsing and table layout for the benchmark reports.
#include "bench/bench_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <sstream>

namespace {
constexpr double kOwnStageBudgetMs = 5.0;
}  // namespace

Summary summarize(std::vector<double> samples) {
  Summary summary;
  if (samples.empty()) {
    return summary;
  }
  std::sort(samples.begin(), samples.end());
  const std::size_t n = samples.size();
  summary.count = n;
  summary.median = n % 2 == 1 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2.0;
  summary.p95 = nearestRank(samples, 0.95);
  summary.mean = std::accumulate(samples.begin(), samples.end(), 0.0) / static_cast<double>(n);
  summary.min = samples.front();
  summary.max = samples.back();
  return summary;
}

double nearestRank(const std::vector<double>& sorted, double fraction) {
  if (sorted.empty()) {
    return 0.0;
  }
  const double rank = std::ceil(fraction * static_cast<double>(sorted.size()));
  const std::size_t index = rank < 1.0 ? 0 : static_cast<std::size_t>(rank) - 1;
  return sorted[std::min(index, sorted.size() - 1)];
}

std::optional<long> statusFieldKiB(const std::string& statusText, const std::string& field) {
  std::istringstream lines(statusText);
  const std::string prefix = field + ":";
  for (std::string line; std::getline(lines, line);) {
    if (line.compare(0, prefix.size(), prefix) != 0) {
      continue;
    }
    long value = 0;
    char unit[8] = {};
    if (std::sscanf(line.c_str() + prefix.size(), "%ld %7s", &value, unit) == 2 &&
        std::string(unit) == "kB") {
      return value;
    }
    return std::nullopt;
  }
  return std::nullopt;
}

std::vector<std::pair<std::string, double>> parseNamedValues(const std::string& text) {
  std::vector<std::pair<std::string, double>> values;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string::npos || tab == 0) {
      continue;
    }
    const std::string number = line.substr(tab + 1);
    char* end = nullptr;
    const double value = std::strtod(number.c_str(), &end);
    if (end == number.c_str() || *end != '\0') {
      continue;
    }
    values.emplace_back(line.substr(0, tab), value);
  }
  return values;
}

std::string formatTable(const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()), 0);
    for (std::size_t c = 0; c < row.size(); ++c) {
      widths[c] = std::max(widths[c], row[c].size());
    }
  }
  std::string out;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    std::string line;
    for (std::size_t c = 0; c < rows[r].size(); ++c) {
      const std::string& cell = rows[r][c];
      const std::string pad(widths[c] - cell.size(), ' ');
      if (c > 0) {
        line += "  ";
      }
      line += c == 0 ? cell + pad : pad + cell;
    }
    while (!line.empty() && line.back() == ' ') {
      line.pop_back();
    }
    out += line + "\n";
    if (r == 0) {
      std::size_t total = 0;
      for (std::size_t c = 0; c < widths.size(); ++c) {
        total += widths[c] + (c > 0 ? 2 : 0);
      }
      out += std::string(total, '-') + "\n";
    }
  }
  return out;
}

std::string fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof(text), "%.*f", decimals, value);
  return text;
}

std::vector<StageTimes> stageDurations(
    const std::vector<std::vector<std::pair<std::string, double>>>& runs) {
  std::vector<StageTimes> stages;
  for (const auto& run : runs) {
    std::vector<std::pair<std::string, double>> marks;
    for (const auto& mark : run) {
      if (mark.first.rfind("check/", 0) != 0) {
        marks.push_back(mark);
      }
    }
    if (marks.empty()) {
      continue;
    }
    if (stages.empty()) {
      for (const auto& mark : marks) {
        const std::size_t slash = mark.first.find('/');
        StageTimes stage;
        stage.owner = slash == std::string::npos ? "" : mark.first.substr(0, slash);
        stage.stage = slash == std::string::npos ? mark.first : mark.first.substr(slash + 1);
        stages.push_back(stage);
      }
    }
    if (marks.size() != stages.size()) {
      continue;
    }
    bool sameStages = true;
    for (std::size_t i = 0; i < marks.size(); ++i) {
      sameStages = sameStages && marks[i].first == stages[i].owner + "/" + stages[i].stage;
    }
    if (!sameStages) {
      continue;
    }
    double previous = 0.0;
    for (std::size_t i = 0; i < marks.size(); ++i) {
      stages[i].milliseconds.push_back(marks[i].second - previous);
      previous = marks[i].second;
    }
  }
  return stages;
}

std::string startupReport(const std::vector<std::vector<std::pair<std::string, double>>>& runs,
                          int failed) {
  std::vector<double> checks;
  for (const auto& run : runs) {
    for (const auto& mark : run) {
      if (mark.first.rfind("check/", 0) == 0) {
        checks.push_back(mark.second);
      }
    }
  }
  const std::vector<StageTimes> stages = stageDurations(runs);
  std::vector<std::vector<std::string>> rows = {
      {"start-up stage (ms)", "whose", "median", "min", "max", "over 5 ms (ours)"}};
  std::vector<double> totals(stages.empty() ? 0 : stages.front().milliseconds.size(), 0.0);
  std::string overBudget;
  for (const StageTimes& stage : stages) {
    const Summary summary = summarize(stage.milliseconds);
    const bool counted = stage.owner == "ours";
    const bool over = counted && summary.median > kOwnStageBudgetMs;
    if (over) {
      overBudget += (overBudget.empty() ? "" : ", ") + stage.stage;
    }
    rows.push_back({stage.stage, stage.owner, fixed(summary.median, 3), fixed(summary.min, 3),
                    fixed(summary.max, 3), counted ? (over ? "OVER" : "no") : "-"});
    for (std::size_t r = 0; r < totals.size() && r < stage.milliseconds.size(); ++r) {
      totals[r] += stage.milliseconds[r];
    }
  }
  const Summary total = summarize(totals);
  rows.push_back({"spawn to first presented frame", "all", fixed(total.median, 3),
                  fixed(total.min, 3), fixed(total.max, 3), ""});
  std::string report = "start-up over " + std::to_string(total.count) + " fresh processes" +
                       (failed > 0 ? " (" + std::to_string(failed) + " failed)" : "") + "\n";
  report += formatTable(rows);
  if (!checks.empty()) {
    report += "real createImageTexture on both images, warm, median: " +
              fixed(summarize(checks).median, 3) + " ms\n";
  }
  report += "goal no stage of our own code over 5 ms: " +
            (overBudget.empty() ? std::string("met") : "missed (" + overBudget + ")") + "\n";
  return report;
}
