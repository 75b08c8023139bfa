// What `vcpack build` is asked to pack, a stub and records in the order
// given, and the manifest: a TOML file naming them. tools/vcpack/README.md
// describes the manifest's format. Records keep the manifest's order. Unknown
// keys are refused, so that a typo never silently drops a record's setting.
// The tables [identity] and [texts] give the package's identity
// (stub_identity.h).
#pragma once

#include <string>
#include <vector>

#include "tools/vcpack/stub_identity.h"

namespace vcpack {

// One record to write. A file record reads `path` and stores its content
// under `stored_name`, binding `key` (when not empty) to that name; a value
// record binds `name` to `text`.
struct RecordSpec {
  enum class Kind { kFile, kValue };
  Kind kind = Kind::kFile;
  std::string path;         // file: where to read the content
  std::string key;          // file: the variable bound to the stored name
  std::string stored_name;  // file: the name the bootstrap writes
  std::string name;         // value: the variable's name
  std::string text;         // value: its text, stored unexpanded
  std::string origin;       // where it was given, for messages
};

struct PackageSpec {
  std::string stub_path;
  // The stub as written, before a manifest's folder was put in front: a
  // target name when it holds no separator (stub_locator.h).
  std::string stub_as_written;
  // File order: the bootstrap meets them last to first, so for a variable
  // bound twice the later record wins.
  std::vector<RecordSpec> records;
  // What the package's copy of the stub carries ([identity] and [texts]).
  StubIdentity identity;
};

// A file record stored under the base name of `path`; callers that were
// given another stored name set it afterwards.
RecordSpec file_record(const std::string& path, const std::string& key,
                       const std::string& origin);
RecordSpec value_record(const std::string& name, const std::string& text,
                        const std::string& origin);

// "--file #2 (file dist/readme.txt)", "typo.toml:4:1 (value parameters)":
// where a record was given and what it is, for messages.
std::string describe(const RecordSpec& record);

// Reads and checks the manifest at `path`. Relative paths inside it are taken
// from the manifest's folder. Throws a refusal naming the line and column of
// the first problem, or of a syntax error.
PackageSpec load_manifest(const std::string& path);

// The same, from text already read; `folder` anchors relative paths and
// `source_name` names the manifest in messages.
PackageSpec parse_manifest(const std::string& text, const std::string& folder,
                           const std::string& source_name);

}  // namespace vcpack
