#include "tools/vcpack/package_spec.h"

#include <filesystem>

namespace vcpack {

RecordSpec file_record(const std::string& path, const std::string& key,
                       const std::string& origin) {
  RecordSpec record;
  record.kind = RecordSpec::Kind::kFile;
  record.path = path;
  record.key = key;
  record.stored_name = std::filesystem::path(path).filename().string();
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

}  // namespace vcpack
