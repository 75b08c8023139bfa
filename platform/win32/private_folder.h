// A work folder of the user's own under a temporary directory that every
// user may write to: the fallback C:\Temp\, which takes the rights of C:\,
// where every signed-in user may make folders and change what is in them.
// There another user could change the extracted installer before it starts,
// or put a folder of their own under the work folder's name before it is
// entered. The user's own temporary directory is private to the user, so
// there the folder keeps the rights it inherits.
#pragma once

#include <string>

namespace vcboot {

// CreateDirectoryA with a protected DACL, which inherits nothing from the
// folder above: full access for the user, SYSTEM and the Administrators, as
// a user's own temporary directory has, passed on to everything made in it.
bool create_private_directory(const std::string& path);

// Whether the current directory belongs to the owner that this process gives
// what it makes, or to its user. Another user cannot make a folder that is
// owned by either.
bool current_directory_is_own();

}  // namespace vcboot
