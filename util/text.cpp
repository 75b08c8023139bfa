#include "util/text.h"

namespace vcboot {

bool starts_with(const std::string& text, const std::string& prefix) {
  return prefix.size() <= text.size() &&
         text.compare(0, prefix.size(), prefix) == 0;
}

bool ends_with(const std::string& text, const std::string& suffix) {
  return suffix.size() <= text.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace vcboot
