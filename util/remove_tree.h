// Recursive removal of a folder, as the bootstrap cleans up its work folder.
#pragma once

#include <string>

#include "platform/platform.h"

namespace vcboot {

// Deletes everything below `path` depth first, dot-folders such as .cache
// included, then removes the folder itself; true only if the folder is gone.
// Files that cannot be deleted stay, and with them every folder above them.
// Folder links are removed, never entered; a `path` that is itself a folder
// link is left alone (the platform does not list a link), so nothing outside
// the tree goes. Reports nothing. `path` may end with "\", "/" or neither.
bool remove_tree(Platform& platform, const std::string& path);

// The same without removing the folder itself: true if it could be listed.
bool empty_tree(Platform& platform, const std::string& path);

}  // namespace vcboot
