// What vcpack asks of the system it runs on, with every path and text in
// UTF-8: on Windows, where the arguments arrive in UTF-16 (main_win32.cpp),
// files are opened by the wide-character calls, never the ANSI ones, so a
// release folder such as D:\Сборка\ works. One implementation per system,
// picked by CMake (host_posix.cpp, host_win32.cpp).
#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"

namespace vcpack {

// The platform through which vcpack reads and extracts packages: the
// bootstrap's own backend, whose file calls take UTF-8 paths here. Names
// stored in a package are still the bootstrap's bytes.
vcboot::Platform& host_platform();

// The value of an environment variable; none when it is not set.
std::optional<std::string> environment_variable(const std::string& name);

}  // namespace vcpack
