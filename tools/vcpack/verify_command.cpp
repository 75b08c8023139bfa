// vcpack verify: every digest the bootstrap checks, and a lint of what it
// would start.
#include <iostream>

#include "platform/platform.h"
#include "tools/vcpack/commands.h"
#include "tools/vcpack/display_text.h"
#include "tools/vcpack/launch_preview.h"
#include "tools/vcpack/package_outcome.h"
#include "tools/vcpack/package_report.h"
#include "tools/vcpack/tool_error.h"

namespace vcpack {
namespace {

std::size_t chunks_read(const PackageWalk& walk) {
  std::size_t count = 0;
  for (const WalkedRecord& record : walk.records) count += record.chunks.size();
  return count;
}

void print_launch(const LaunchPreview& preview) {
  std::cout << "The bootstrap would start:\n"
            << "  installer:  " << preview.installer << "\n"
            << "  parameters: "
            << (preview.parameters.empty() ? "(none)" : preview.parameters)
            << "\n";
  if (preview.post.empty()) {
    std::cout << "  post:       nothing (\"post\" is empty)\n";
  } else {
    std::cout << "  post:       " << preview.post << " <installer exit code>"
              << "  (in " << kWorkFolderPlaceholder << ")\n";
  }
}

}  // namespace

int run_verify(const VerifyOptions& options) {
  const PackageWalk walk =
      walk_package(vcboot::native_platform(), options.package);
  const std::vector<std::string> problems = package_problems(walk);
  if (!problems.empty()) {
    std::cout << "Package " << walk.path << ": damaged or invalid.\n";
    for (const std::string& problem : problems) {
      std::cerr << "vcpack: error: " << problem << "\n";
    }
    return kExitRefused;
  }
  const PackageOutcome outcome = resolve_outcome(walk);
  std::cout << "Package " << walk.path << ": " << chunks_read(walk)
            << " chunks in " << walk.records.size()
            << " records read and verified; " << walk_end_text(walk) << ".\n";
  const LaunchPreview preview =
      preview_launch(walk, outcome, walk.windows_image ? '\\' : '/');
  print_launch(preview);
  for (const std::string& finding : preview.findings) {
    std::cerr << "vcpack: warning: " << finding << "\n";
  }
  if (!preview.findings.empty() && options.strict) return kExitRefused;
  return kExitOk;
}

}  // namespace vcpack
