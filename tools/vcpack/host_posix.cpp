#include <cstdlib>

#include "tools/vcpack/host.h"

namespace vcpack {

// POSIX paths are bytes, which vcpack passes on as they are.
vcboot::Platform& host_platform() { return vcboot::native_platform(); }

std::optional<std::string> environment_variable(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

}  // namespace vcpack
