// vcpack build: the manifest's records, then the command line's.
#include <iostream>

#include "tools/vcpack/commands.h"
#include "tools/vcpack/manifest.h"
#include "tools/vcpack/package_builder.h"
#include "tools/vcpack/tool_error.h"

namespace vcpack {

int run_build(const BuildOptions& options) {
  PackageSpec spec;
  if (!options.manifest.empty()) spec = load_manifest(options.manifest);
  if (!options.stub.empty()) spec.stub_path = options.stub;
  spec.records.insert(spec.records.end(), options.records.begin(),
                      options.records.end());

  const BuildSummary summary = build_package(spec, options.output);
  for (const std::string& warning : summary.warnings) {
    std::cerr << "vcpack: warning: " << warning << "\n";
  }
  std::cout << "Wrote " << options.output << ": " << summary.size << " bytes, "
            << summary.file_records << " file and " << summary.value_records
            << " value records behind the stub.\n";
  return kExitOk;
}

}  // namespace vcpack
