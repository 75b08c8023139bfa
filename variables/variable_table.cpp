#include "variables/variable_table.h"

namespace vcboot {

std::string& VariableTable::get_or_create(const std::string& name) {
  return entries_[name];
}

std::pair<VariableTable::Entries::iterator, bool>
VariableTable::insert_if_absent(const std::string& name,
                                const std::string& value) {
  return entries_.emplace(name, value);
}

const std::string* VariableTable::find(const std::string& name) const {
  const auto found = entries_.find(name);
  return found == entries_.end() ? nullptr : &found->second;
}

}  // namespace vcboot
