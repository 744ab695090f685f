#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace mlfk::bench {

// Prints, after the usual table, how each measured benchmark compares with
// its floor measured in the same run: "subject/ARG" against "floor/ARG",
// using the median of the repetitions.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter(std::string subject, std::string floor)
      : subject_(std::move(subject)), floor_(std::move(floor)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        const std::string key = run.run_name.function_name + "/" + run.run_name.args;
        medians_[key] = run.GetAdjustedRealTime();
        units_[key] = benchmark::GetTimeUnitString(run.time_unit);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-14s %14s %14s %8s\n", "size", subject_.c_str(), floor_.c_str(), "ratio");
    for (const auto& [name, time] : medians_) {
      if (!name.starts_with(subject_ + "/")) continue;
      const std::string arg = name.substr(subject_.size() + 1);
      auto floor = medians_.find(floor_ + "/" + arg);
      if (floor == medians_.end()) continue;
      std::printf("%-10s %11.3f %-2s %11.3f %-2s %8.3f\n", arg.c_str(), time, units_[name].c_str(),
                  floor->second, units_[floor->first].c_str(), time / floor->second);
    }
  }

 private:
  std::string subject_, floor_;
  std::map<std::string, double> medians_;
  std::map<std::string, std::string> units_;
};

}  // namespace mlfk::bench
