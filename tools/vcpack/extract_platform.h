// The platform that `vcpack extract` runs the bootstrap's own extraction on:
// it records the message boxes, starts nothing, and writes only into the
// folder given, through FolderWriter. A name with a folder part on the
// package's system is not written, as the bootstrap could not write it
// either; for a Windows package, a name that differs from one written
// before only in case or trailing dots and blanks reaches that file, as it
// would on Windows.
#pragma once

#include <cerrno>
#include <string>
#include <unordered_map>

#include "tools/vcpack/host.h"
#include "tools/vcpack/recording_platform.h"
#include "tools/vcpack/target_names.h"

namespace vcpack {

class ExtractPlatform : public RecordingPlatform {
 public:
  // `folder` ends with '/', as the extraction's work folder does.
  ExtractPlatform(vcboot::Platform& target, const std::string& folder,
                  TargetSystem system)
      : RecordingPlatform(target),
        folder_(folder),
        writer_(folder),
        system_(system) {}

  std::unique_ptr<vcboot::File> create_for_writing(
      const std::string& path) override {
    wrote_ = true;
    const std::string name = path.compare(0, folder_.size(), folder_) == 0
                                 ? path.substr(folder_.size())
                                 : path;
    if (has_folder_part(name, system_)) {
      error_ = ENOENT;  // what the bootstrap meets: no such folder
      return nullptr;
    }
    const auto spelling = spellings_.emplace(file_key(name, system_), name);
    return writer_.create(spelling.first->second, &error_);
  }

  // After the first file, the codes of the files' own failures.
  std::uint32_t last_error() override {
    return wrote_ ? error_ : RecordingPlatform::last_error();
  }

 private:
  std::string folder_;
  FolderWriter writer_;
  TargetSystem system_;
  std::unordered_map<std::string, std::string> spellings_;  // by file key
  std::uint32_t error_ = 0;
  bool wrote_ = false;
};

}  // namespace vcpack
