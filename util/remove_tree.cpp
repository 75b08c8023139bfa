#include "util/remove_tree.h"

#include "util/text.h"

namespace vcboot {

bool remove_tree(Platform& platform, const std::string& path) {
  std::string working = path;
  if (!ends_with(working, "\\") && !ends_with(working, "/")) {
    working += platform.path_separator();
  }
  {
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
  }  // The listing is closed before its folder is removed.
  return platform.remove_directory(working);
}

}  // namespace vcboot
