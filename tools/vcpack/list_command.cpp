// vcpack list: the records as the bootstrap meets them, and what they do.
#include <iostream>

#include "platform/platform.h"
#include "tools/vcpack/commands.h"
#include "tools/vcpack/package_json.h"
#include "tools/vcpack/package_outcome.h"
#include "tools/vcpack/package_report.h"
#include "tools/vcpack/tool_error.h"

namespace vcpack {

int run_list(const ListOptions& options) {
  const PackageWalk walk =
      walk_package(vcboot::native_platform(), options.package);
  const PackageOutcome outcome = resolve_outcome(walk);
  if (options.json) {
    std::cout << package_json(walk, outcome)
                     .dump(2, ' ', false,
                           nlohmann::ordered_json::error_handler_t::replace)
              << "\n";
  } else {
    std::cout << listing_text(walk, outcome);
  }
  const std::vector<std::string> problems = package_problems(walk);
  for (const std::string& problem : problems) {
    std::cerr << "vcpack: error: " << problem << "\n";
  }
  return problems.empty() ? kExitOk : kExitRefused;
}

}  // namespace vcpack
