// Stubs by target name, so that `--stub win32` or `stub = "linux-x86_64"`
// needs no path into a build folder. A target is a folder named for it that
// holds the stub, vcboot.exe or vcboot; targets are looked for, in order, in
//   1. $VCBOOT_STUB_DIR,
//   2. ../lib/vcboot/stubs from the running vcpack's folder (an installed
//      tree, such as the Debian package's),
//   3. stubs/ beside the running vcpack (the Windows zip),
// and the first place that holds a target gives its stub.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vcpack {

struct StubPlace {
  std::string folder;        // empty: the variable is not set
  bool is_variable = false;  // $VCBOOT_STUB_DIR
};

struct InstalledStub {
  std::string target;
  std::string path;
  std::string version;  // empty when the image does not tell it
};

// The places, from the value of $VCBOOT_STUB_DIR (none: not set) and the
// running program's path (empty: unknown, which leaves out 2 and 3).
std::vector<StubPlace> stub_places(const std::optional<std::string>& stub_dir,
                                   const std::string& program_path);

// The places for this process.
std::vector<StubPlace> host_stub_places();

// Every target in `places`, once each, from the first place that holds it,
// ordered by name.
std::vector<InstalledStub> find_stubs(const std::vector<StubPlace>& places);

// The stub that a --stub option or a manifest's "stub" means: `path` is the
// value as a path (a manifest's is taken from the manifest's folder),
// `written` the value as written. A file at `path` is taken; otherwise a
// `written` without a path separator names a target. Throws a refusal for a
// name that matches no target, which lists the targets found and the places
// looked in.
std::string locate_stub(const std::string& path, const std::string& written,
                        const std::vector<StubPlace>& places);

// The version that a stub image carries: a Windows stub's version resource,
// a POSIX stub's marker text (bootstrap/stub_version.h); empty when neither.
std::string stub_version(const std::string& image);

// A place as messages name it: its folder, and why it holds nothing when it
// is not set or is no folder.
std::string describe_place(const StubPlace& place);

}  // namespace vcpack
