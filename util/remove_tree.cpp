#include "util/remove_tree.h"

#include "util/text.h"

namespace vcboot {
namespace {

std::string with_separator(Platform& platform, const std::string& path) {
  if (ends_with(path, "\\") || ends_with(path, "/")) return path;
  return path + platform.path_separator();
}

}  // namespace

bool remove_tree(Platform& platform, const std::string& path) {
  const std::string working = with_separator(platform, path);
  // The listing is closed before its folder is removed.
  return empty_tree(platform, working) && platform.remove_directory(working);
}

bool empty_tree(Platform& platform, const std::string& path) {
  const std::string working = with_separator(platform, path);
  const std::unique_ptr<DirectoryListing> listing =
      platform.list_directory(working + "*");
  if (!listing) return false;
  DirectoryEntry entry;
  while (listing->next(&entry)) {
    const std::string entry_path = working + entry.name;
    if (!entry.is_directory) {
      platform.delete_file(entry_path);
    } else if (entry.name == "." || entry.name == "..") {
      // The folder itself and the one above it.
    } else if (entry.is_link) {
      // Entering a link would empty the folder it points to, which may lie
      // anywhere; removing the link itself is all the clean-up needs.
      platform.remove_directory(entry_path);
    } else {
      remove_tree(platform, entry_path);
    }
  }
  return true;
}

}  // namespace vcboot
