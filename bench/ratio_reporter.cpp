#include "bench/ratio_reporter.h"

#include <cstdio>

namespace vcboot::bench {

void RatioReporter::add_ratio(const std::string& label, const std::string& a,
                              const std::string& b) {
  ratios_.push_back({label, a, b});
}

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
  ConsoleReporter::ReportRuns(runs);
  for (const Run& run : runs) {
    const auto rate = run.counters.find("bytes_per_second");
    if (run.error_occurred || rate == run.counters.end()) continue;
    // The name as registered, without the options Google Benchmark appends.
    std::string name = run.run_name.function_name;
    if (run.run_type == Run::RT_Aggregate) name += "_" + run.aggregate_name;
    rates_[name] = rate->second.value;
  }
}

double RatioReporter::rate_of(const std::string& name) const {
  for (const std::string& key : {name + "_median", name}) {
    const auto found = rates_.find(key);
    if (found != rates_.end()) return found->second;
  }
  return 0;
}

void RatioReporter::Finalize() {
  ConsoleReporter::Finalize();
  std::printf("\n");
  for (const Ratio& ratio : ratios_) {
    const double a = rate_of(ratio.a);
    const double b = rate_of(ratio.b);
    // MiB/s, as Google Benchmark's table shows them.
    std::printf("%-30s %9.1f MiB/s / %9.1f MiB/s = %.3g\n", ratio.label.c_str(),
                a / 1048576, b / 1048576, b > 0 ? a / b : 0.0);
  }
}

}  // namespace vcboot::bench
