// A benchmark program's main that, after the usual console report, prints the ratio of one
// benchmark's time to another's (for example a component against a bare loop over the same data).
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace bench {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter(std::string numerator, std::string denominator, bool cpu_time)
      : numerator_(std::move(numerator)), denominator_(std::move(denominator)), cpu_(cpu_time) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& r : runs) {
      if (r.run_type != Run::RT_Iteration) continue;
      const double ns = cpu_ ? r.GetAdjustedCPUTime() : r.GetAdjustedRealTime();
      times_[r.benchmark_name()] = ns;
      if (r.benchmark_name().find(numerator_) != std::string::npos) num_ = ns;
      if (r.benchmark_name().find(denominator_) != std::string::npos) den_ = ns;
    }
  }
  bool Ready() const { return num_ > 0 && den_ > 0; }
  double Ratio() const { return num_ / den_; }
  double Denominator() const { return den_; }
  // Every benchmark's time per iteration (ns), by name.
  const std::map<std::string, double>& Times() const { return times_; }

 private:
  std::string numerator_, denominator_;
  bool cpu_;
  double num_ = 0, den_ = 0;
  std::map<std::string, double> times_;
};

// Runs the registered benchmarks and prints "<label>: <ratio><suffix>" when both were measured;
// `after`, when given, then sees the reporter (to print more from its times).
inline int RunWithRatio(int argc, char** argv, const char* numerator, const char* denominator,
                        const char* label, const char* suffix = "", bool cpu_time = false,
                        void (*after)(const RatioReporter&) = nullptr) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter(numerator, denominator, cpu_time);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (reporter.Ready()) std::printf("%s: %.2f%s\n", label, reporter.Ratio(), suffix);
  if (after) after(reporter);
  benchmark::Shutdown();
  return 0;
}

}  // namespace bench
