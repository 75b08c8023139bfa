// How vcpack's commands fail: an exception carrying the exit code and the
// message that `main` prints as "vcpack: error: <message>".
#pragma once

#include <stdexcept>
#include <string>

namespace vcpack {

// Exit codes shared by every command.
inline constexpr int kExitOk = 0;
// build: an input the bootstrap could not use; list/verify/extract: a damaged
// or invalid package; verify --strict: checker findings.
inline constexpr int kExitRefused = 1;
// A usage error, or an input/output error (a package that cannot be opened,
// an output that cannot be written).
inline constexpr int kExitUsageOrIo = 2;

class ToolError : public std::runtime_error {
 public:
  ToolError(int exit_code, const std::string& message)
      : std::runtime_error(message), exit_code_(exit_code) {}
  int exit_code() const { return exit_code_; }

 private:
  int exit_code_;
};

// An input that the bootstrap could not use, or a damaged package: exit 1.
inline ToolError refusal(const std::string& message) {
  return ToolError(kExitRefused, message);
}
// A usage or input/output error: exit 2.
inline ToolError usage_or_io_error(const std::string& message) {
  return ToolError(kExitUsageOrIo, message);
}

}  // namespace vcpack
