// The named text values of one run: seeded by the run sequence, filled from
// the archive, read by the launch through the expansion.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <utility>

namespace vcboot {

// An ordered map from name to value. Names compare byte by byte as unsigned
// values, exactly and case-sensitively; any byte, zero included, may occur in
// a name or a value. Entries are never removed, so a reference to a stored
// value stays valid for the table's lifetime.
class VariableTable {
 public:
  using Entries = std::map<std::string, std::string>;

  // The stored value of `name`, added first with an empty value if absent.
  std::string& get_or_create(const std::string& name);

  // Adds (name, value) unless `name` is present, in which case the stored
  // value stays. The flag tells whether the entry was added.
  std::pair<Entries::iterator, bool> insert_if_absent(const std::string& name,
                                                      const std::string& value);

  // The stored value of `name`, or null. Never adds an entry.
  const std::string* find(const std::string& name) const;

  std::size_t size() const { return entries_.size(); }
  const Entries& entries() const { return entries_; }

 private:
  // std::string's ordering is char_traits<char>::compare, which compares
  // bytes as unsigned char, as memcmp does.
  Entries entries_;
};

}  // namespace vcboot
