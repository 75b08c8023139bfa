#include "tools/vcpack/package_outcome.h"

#include <algorithm>

#include "archive/file_name_rules.h"
#include "tools/vcpack/display_text.h"

namespace vcpack {
namespace {

char upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool is_ascii_alnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
         (c >= 'a' && c <= 'z');
}

// Characters an 8.3 name may hold: letters, digits, these signs, and every
// byte of the code page beyond ASCII.
bool fits_short_name(char c) {
  static const std::string kSigns = "$%'-_@~`!(){}^#&";
  return is_ascii_alnum(c) || static_cast<unsigned char>(c) >= 0x80 ||
         kSigns.find(c) != std::string::npos;
}

struct BaseAndExtension {
  std::string base;
  std::string extension;
  bool has_dot = false;
};

// Split at the last dot that is not the first character.
BaseAndExtension split(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return {name, "", false};
  return {name.substr(0, dot), name.substr(dot + 1), true};
}

bool is_valid_short_name(const std::string& name) {
  if (std::count(name.begin(), name.end(), '.') > 1) return false;
  const BaseAndExtension parts = split(name);
  if (parts.base.empty() || parts.base.size() > 8 ||
      parts.extension.size() > 3 || (parts.has_dot && parts.extension.empty()))
    return false;
  return std::all_of(parts.base.begin(), parts.base.end(), fits_short_name) &&
         std::all_of(parts.extension.begin(), parts.extension.end(),
                     fits_short_name);
}

// Upper case, blanks and dots left out, characters an 8.3 name cannot hold
// as '_', cut to `size`.
std::string cleaned(const std::string& text, std::size_t size) {
  std::string result;
  for (const char c : text) {
    if (result.size() == size) break;
    if (c == ' ' || c == '.') continue;
    result += fits_short_name(c) ? upper(c) : '_';
  }
  return result;
}

std::string family(const std::string& lead, const std::string& extension) {
  return lead + "." + extension;
}

void bind(PackageOutcome& outcome, const std::string& name,
          const std::string& value, std::size_t record) {
  const auto [slot, added] =
      outcome.binding_index.emplace(name, outcome.bindings.size());
  if (!added) {
    outcome.bindings[slot->second].shadowed.push_back(record);
    return;
  }
  outcome.bindings.push_back({name, value, record, {}});
}

void write(PackageOutcome& outcome, const std::string& name,
           std::size_t record) {
  const auto [slot, added] = outcome.file_index.emplace(
      file_key(name, outcome.target), outcome.files.size());
  outcome.file_of_record[record] = slot->second;
  if (!added) {
    WrittenFile& file = outcome.files[slot->second];
    file.replaced.push_back(file.record);
    file.record = record;
    return;
  }
  outcome.files.push_back({name, record, {}});
}

// Applies one record; false when the bootstrap stops at it.
bool apply(PackageOutcome& outcome, const WalkedRecord& record,
           std::size_t index, bool as_if_written) {
  if (record.after_damage || !record.complete || !record.verified()) {
    outcome.stop = WalkStop::kDamage;
    return false;
  }
  switch (record.type) {
    case RecordType::kValue:
      bind(outcome, record.name, record.value, index);
      return true;
    case RecordType::kFile: {
      const NameProblem problem =
          name_problem(record.file_name, outcome.target);
      if (problem == NameProblem::kRefused && !as_if_written) {
        outcome.stop = WalkStop::kRefusedName;
        return false;
      }
      // The key is bound before the file is tried, as in the bootstrap.
      if (!record.name.empty())
        bind(outcome, record.name, record.file_name, index);
      if (problem != NameProblem::kNone && !as_if_written) {
        outcome.stop = WalkStop::kUnwritableName;
        return false;
      }
      write(outcome, record.file_name, index);
      return true;
    }
    case RecordType::kStub:
      outcome.stop = WalkStop::kStubRecord;
      return false;
    default:
      return true;
  }
}

}  // namespace

PackageOutcome resolve_outcome(const PackageWalk& walk, bool as_if_written) {
  PackageOutcome outcome;
  outcome.target =
      walk.windows_image ? TargetSystem::kWindows : TargetSystem::kPosix;
  for (const BootstrapVariable& variable : kBootstrapVariables) {
    bind(outcome, variable.name, variable.placeholder, 0);
    outcome.bindings.back().record = std::nullopt;
  }
  std::size_t index = 0;
  outcome.stop = WalkStop::kDamage;  // the walk ends without a stub record
  for (; index < walk.records.size(); ++index) {
    if (!apply(outcome, walk.records[index], index, as_if_written)) break;
  }
  outcome.acted_on = index;
  // A stub record that does not begin the file is where a cut download
  // ends: damage, whatever came before it.
  if (walk.end == WalkEnd::kStubNotAtStart) outcome.stop = WalkStop::kDamage;
  outcome.launches = outcome.stop == WalkStop::kStubRecord &&
                     walk.end == WalkEnd::kStub &&
                     !walk.first_damaged_record().has_value();
  return outcome;
}

void bind_bootstrap_variables(vcboot::VariableTable& table) {
  for (const BootstrapVariable& variable : kBootstrapVariables) {
    table.get_or_create(variable.name) = variable.placeholder;
  }
}

bool is_bootstrap_variable(const std::string& name) {
  for (const BootstrapVariable& variable : kBootstrapVariables) {
    if (name == variable.name) return true;
  }
  return false;
}

const Binding* find_binding(const PackageOutcome& outcome,
                            const std::string& name) {
  const auto found = outcome.binding_index.find(name);
  return found == outcome.binding_index.end()
             ? nullptr
             : &outcome.bindings[found->second];
}

const WrittenFile* find_file(const PackageOutcome& outcome,
                             const std::string& name) {
  const auto found = outcome.file_index.find(file_key(name, outcome.target));
  return found == outcome.file_index.end() ? nullptr
                                           : &outcome.files[found->second];
}

const WrittenFile* file_written_by(const PackageOutcome& outcome,
                                   std::size_t index) {
  const auto found = outcome.file_of_record.find(index);
  return found == outcome.file_of_record.end() ? nullptr
                                               : &outcome.files[found->second];
}

std::string file_key(const std::string& name, TargetSystem target) {
  if (target == TargetSystem::kWindows) return vcboot::windows_file_key(name);
  std::string key;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    const std::string component = name.substr(start, end - start);
    if (!component.empty() && component != ".") {
      key += (key.empty() ? "" : "/") + component;
    }
    start = end + 1;
  }
  return key;
}

bool has_folder_part(const std::string& name, TargetSystem target) {
  const char* separators = target == TargetSystem::kWindows ? "/\\" : "/";
  return name.find_first_of(separators) != std::string::npos;
}

std::optional<std::string> short_name_family(const std::string& name) {
  if (!is_valid_short_name(name)) return std::nullopt;
  const BaseAndExtension parts = split(name);
  const std::size_t tilde = parts.base.find('~');
  if (tilde == std::string::npos || tilde == 0 ||
      tilde + 1 == parts.base.size() ||
      !std::all_of(parts.base.begin() + static_cast<std::ptrdiff_t>(tilde) + 1,
                   parts.base.end(), is_ascii_alnum)) {
    return std::nullopt;
  }
  return family(cleaned(parts.base.substr(0, tilde), 2),
                cleaned(parts.extension, 3));
}

std::optional<std::string> generated_short_name_family(
    const std::string& name) {
  if (name.empty() || is_valid_short_name(name)) return std::nullopt;
  const BaseAndExtension parts = split(name);
  return family(cleaned(parts.base, 2), cleaned(parts.extension, 3));
}

std::string record_number(std::size_t index) {
  return "#" + std::to_string(index + 1);
}

std::string type_name(const WalkedRecord& record) {
  switch (record.type) {
    case RecordType::kTail:
      return "tail";
    case RecordType::kValue:
      return "value";
    case RecordType::kFile:
      return "file";
    case RecordType::kStub:
      return "stub";
    default:
      return quoted(record.type_text);
  }
}

std::string record_label(const PackageWalk& walk, std::size_t index) {
  const WalkedRecord& record = walk.records[index];
  std::string label = record_number(index) + " (" + type_name(record);
  if (record.type == RecordType::kFile) {
    label += " " + shown(record.file_name);
  } else if (record.type != RecordType::kTail) {
    label += " " + shown(record.name);
  }
  return label + ")";
}

NameProblem name_problem(const std::string& name, TargetSystem target) {
  if (!vcboot::is_safe_file_name(name)) return NameProblem::kRefused;
  if (has_folder_part(name, target)) return NameProblem::kFolderPart;
  if (name.size() > kMaxNameBytes) return NameProblem::kTooLong;
  return NameProblem::kNone;
}

}  // namespace vcpack
