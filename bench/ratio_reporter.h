// Google Benchmark's console table, followed by the throughput ratios of
// named pairs of benchmarks: the figure a target is stated in.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace vcboot::bench {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  // After the run, prints "<label>: <a> / <b> = <ratio>" with the bytes per
  // second of benchmarks `a` and `b` (their medians when repeated).
  void add_ratio(const std::string& label, const std::string& a,
                 const std::string& b);

  void ReportRuns(const std::vector<Run>& runs) override;
  void Finalize() override;

 private:
  struct Ratio {
    std::string label, a, b;
  };
  double rate_of(const std::string& name) const;

  std::map<std::string, double> rates_;  // bytes per second, by run name
  std::vector<Ratio> ratios_;
};

}  // namespace vcboot::bench
