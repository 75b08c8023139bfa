// The Win32 backend's File, for a handle opened elsewhere: vcpack opens files
// by their UTF-16 paths and reads them through this same class.
#pragma once

#include <windows.h>

#include <memory>

#include "platform/platform.h"

namespace vcboot {

// Takes ownership of `handle`, an open file, and closes it when destroyed.
std::unique_ptr<File> adopt_file_handle(HANDLE handle);

}  // namespace vcboot
