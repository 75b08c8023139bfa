#include "tools/vcpack/manifest.h"

#include <toml++/toml.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string_view>

#include "tools/vcpack/display_text.h"
#include "tools/vcpack/host.h"
#include "tools/vcpack/tool_error.h"

namespace vcpack {
namespace {

namespace fs = std::filesystem;

std::string where(const std::string& source_name,
                  const toml::source_region& at) {
  return source_name + ":" + std::to_string(at.begin.line) + ":" +
         std::to_string(at.begin.column);
}

// Resolves a path given in the manifest against the manifest's folder.
std::string anchored(const std::string& folder, const std::string& path) {
  if (utf8_path(path).is_absolute() || folder.empty()) return path;
  return utf8_text(utf8_path(folder) / utf8_path(path));
}

class ManifestReader {
 public:
  ManifestReader(const std::string& folder, const std::string& source_name)
      : folder_(folder), source_name_(source_name) {}

  PackageSpec read(const toml::table& root) {
    PackageSpec spec;
    for (auto&& [key, node] : root) {
      if (key == "stub") {
        spec.stub_as_written = string_of(node, "stub");
        spec.stub_path = anchored(folder_, spec.stub_as_written);
      } else if (key == "record") {
        read_records(node, spec);
      } else if (key == "identity") {
        read_identity(table_of(node, "identity"), spec.identity);
      } else if (key == "texts") {
        read_texts(table_of(node, "texts"), spec.identity);
      } else if (is_plain_setting(std::string(key.str()), true)) {
        const std::string name(key.str());
        set_setting(spec.identity, {name, string_of(node, name),
                                    where(source_name_, node.source())});
      } else {
        throw problem(key.source(),
                      "unknown key \"" + std::string(key.str()) +
                          "\" (expected \"stub\", \"ui\", \"log\", "
                          "[[record]], [identity] or [texts])");
      }
    }
    return spec;
  }

 private:
  ToolError problem(const toml::source_region& at,
                    const std::string& what) const {
    return refusal(where(source_name_, at) + ": " + what);
  }

  std::string string_of(const toml::node& node, const std::string& name) const {
    const auto* text = node.as_string();
    if (text == nullptr)
      throw problem(node.source(), "\"" + name + "\" must be a string");
    return text->get();
  }

  const toml::table& table_of(const toml::node& node,
                              const std::string& name) const {
    const auto* table = node.as_table();
    if (table == nullptr) {
      throw problem(node.source(),
                    "\"" + name + "\" must be a table ([" + name + "])");
    }
    return *table;
  }

  // Throws a problem at `node` when `error` says one.
  void check(const toml::node& node, const std::string& error) const {
    if (!error.empty()) throw problem(node.source(), error);
  }

  void read_identity(const toml::table& table, StubIdentity& identity) const {
    for (auto&& [key, node] : table) {
      const std::string name(key.str());
      const std::string origin = where(source_name_, node.source());
      if (name == "version-info") {
        for (auto&& [text_key, text] :
             table_of(node, "identity.version-info")) {
          VersionText version{std::string(text_key.str()),
                              string_of(text, std::string(text_key.str())),
                              where(source_name_, text.source())};
          check(text, version_key_error(version.key));
          check(text, version_text_error(version));
          set_version_text(identity, version);
        }
      } else if (name == "icon") {
        identity.icon = anchored(folder_, string_of(node, name));
      } else if (name == "version") {
        identity.version = string_of(node, name);
        check(node, version_error(identity.version));
      } else if (name == "execution-level") {
        identity.execution_level = string_of(node, name);
        check(node, execution_level_error(identity.execution_level));
      } else if (is_plain_setting(name, false)) {
        set_setting(identity, {name, string_of(node, name), origin});
      } else {
        std::string keys = "icon, version, version-info, execution-level";
        for (const PlainSetting& setting : kPlainSettings) {
          if (!setting.top_level) keys += std::string(", ") + setting.setting;
        }
        throw problem(key.source(), "unknown key \"" + name +
                                        "\" in [identity]; it takes " + keys);
      }
    }
  }

  // Whether `name` is a plain setting that the manifest takes at its top
  // (`top_level`) or in [identity].
  static bool is_plain_setting(const std::string& name, bool top_level) {
    for (const PlainSetting& setting : kPlainSettings) {
      if (name == setting.setting && setting.top_level == top_level)
        return true;
    }
    return false;
  }

  void read_texts(const toml::table& table, StubIdentity& identity) const {
    for (auto&& [key, node] : table) {
      const std::string name(key.str());
      if (!text_name_error(name).empty()) {
        throw problem(key.source(), text_name_error(name));
      }
      set_setting(identity, {name, string_of(node, name),
                             where(source_name_, node.source())});
    }
  }

  void read_records(const toml::node& node, PackageSpec& spec) const {
    const auto* records = node.as_array();
    if (records == nullptr) {
      throw problem(node.source(),
                    "\"record\" must be an array of tables ([[record]])");
    }
    for (const toml::node& element : *records) {
      const auto* table = element.as_table();
      if (table == nullptr)
        throw problem(element.source(), "a record must be a table");
      spec.records.push_back(read_record(*table));
    }
  }

  RecordSpec read_record(const toml::table& table) const {
    const bool is_file = table.contains("file");
    const bool is_value = table.contains("variable");
    if (is_file == is_value) {
      throw problem(table.source(),
                    "a record needs exactly one of \"file\" (a file record) "
                    "or \"variable\" (a value record)");
    }
    if (is_file) {
      check_keys(table, {"file", "key", "as"},
                 "a file record takes \"file\", \"key\" and \"as\"");
    } else {
      check_keys(table, {"variable", "value"},
                 "a value record takes \"variable\" and \"value\"");
    }
    const std::string origin = where(source_name_, table.source());
    if (is_value) {
      const toml::node* value = table.get("value");
      if (value == nullptr)
        throw problem(table.source(), "a value record needs \"value\"");
      return value_record(string_of(*table.get("variable"), "variable"),
                          string_of(*value, "value"), origin);
    }
    RecordSpec record =
        file_record(anchored(folder_, string_of(*table.get("file"), "file")),
                    optional_string(table, "key"), origin);
    if (const toml::node* as = table.get("as"))
      record.stored_name = string_of(*as, "as");
    return record;
  }

  std::string optional_string(const toml::table& table,
                              const std::string& name) const {
    const toml::node* node = table.get(name);
    return node == nullptr ? std::string() : string_of(*node, name);
  }

  void check_keys(const toml::table& table,
                  const std::set<std::string_view>& allowed,
                  const std::string& valid) const {
    for (auto&& [key, node] : table) {
      if (allowed.count(key.str()) == 0) {
        throw problem(key.source(), "unknown key \"" + std::string(key.str()) +
                                        "\" in this record; " + valid);
      }
    }
  }

  std::string folder_;
  std::string source_name_;
};

}  // namespace

RecordSpec file_record(const std::string& path, const std::string& key,
                       const std::string& origin) {
  RecordSpec record;
  record.kind = RecordSpec::Kind::kFile;
  record.path = path;
  record.key = key;
  record.stored_name = utf8_text(utf8_path(path).filename());
  record.origin = origin;
  return record;
}

RecordSpec value_record(const std::string& name, const std::string& text,
                        const std::string& origin) {
  RecordSpec record;
  record.kind = RecordSpec::Kind::kValue;
  record.name = name;
  record.text = text;
  record.origin = origin;
  return record;
}

std::string describe(const RecordSpec& record) {
  return record.origin + (record.kind == RecordSpec::Kind::kFile
                              ? " (file " + record.path + ")"
                              : " (value " + shown(record.name) + ")");
}

PackageSpec parse_manifest(const std::string& text, const std::string& folder,
                           const std::string& source_name) {
  toml::table root;
  try {
    root = toml::parse(text, source_name);
  } catch (const toml::parse_error& error) {
    throw refusal(where(source_name, error.source()) + ": " +
                  std::string(error.description()));
  }
  return ManifestReader(folder, source_name).read(root);
}

PackageSpec load_manifest(const std::string& path) {
  // A folder opens for reading on POSIX, and its first read then fails.
  const fs::path file = utf8_path(path);
  std::error_code error;
  if (fs::is_directory(file, error)) {
    throw refusal("cannot read manifest " + path + ": it is a folder");
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    throw refusal("cannot read manifest " + path + ": " + std::strerror(errno));
  }
  const std::string text((std::istreambuf_iterator<char>(in)),
                         std::istreambuf_iterator<char>());
  if (in.bad()) {
    throw refusal("cannot read manifest " + path + ": " + std::strerror(errno));
  }
  return parse_manifest(text, utf8_text(file.parent_path()), path);
}

}  // namespace vcpack
