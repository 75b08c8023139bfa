#include "tools/vcpack/stub_locator.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "bootstrap/stub_version.h"
#include "tools/vcpack/host.h"
#include "tools/vcpack/pe_resources.h"
#include "tools/vcpack/tool_error.h"

namespace vcpack {
namespace {

namespace fs = std::filesystem;

constexpr const char* kStubFileNames[] = {"vcboot.exe", "vcboot"};
constexpr std::size_t kLongestVersion = 64;

bool is_file(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

// The stub in a target's folder; empty when it holds none.
std::string stub_in(const fs::path& folder) {
  for (const char* name : kStubFileNames) {
    if (is_file(folder / name)) return utf8_text(folder / name);
  }
  return std::string();
}

bool is_target_name(const std::string& text) {
  return !text.empty() && text != "." && text != ".." &&
         text.find_first_of("/\\") == std::string::npos;
}

std::string read_image(const std::string& path) {
  std::ifstream in(utf8_path(path), std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)),
                     std::istreambuf_iterator<char>());
}

std::string joined(const std::vector<std::string>& items,
                   const std::string& separator) {
  std::string text;
  for (const std::string& item : items) {
    text += (text.empty() ? "" : separator) + item;
  }
  return text;
}

}  // namespace

std::vector<StubPlace> stub_places(const std::optional<std::string>& stub_dir,
                                   const std::string& program_path) {
  std::vector<StubPlace> places;
  places.push_back({stub_dir.value_or(""), true});
  if (!program_path.empty()) {
    const fs::path folder = utf8_path(program_path).parent_path();
    const fs::path installed = folder / ".." / "lib" / "vcboot" / "stubs";
    places.push_back({utf8_text(installed.lexically_normal()), false});
    places.push_back({utf8_text(folder / "stubs"), false});
  }
  return places;
}

std::vector<StubPlace> host_stub_places() {
  return stub_places(environment_variable("VCBOOT_STUB_DIR"),
                     host_platform().module_path());
}

std::vector<InstalledStub> find_stubs(const std::vector<StubPlace>& places) {
  std::vector<InstalledStub> found;
  std::set<std::string> targets;
  for (const StubPlace& place : places) {
    if (place.folder.empty()) continue;
    std::error_code error;
    for (fs::directory_iterator entry(utf8_path(place.folder), error), end;
         !error && entry != end; entry.increment(error)) {
      const std::string target = utf8_text(entry->path().filename());
      const std::string path = stub_in(entry->path());
      if (path.empty() || !targets.insert(target).second) continue;
      found.push_back({target, path, stub_version(read_image(path))});
    }
  }
  std::sort(found.begin(), found.end(),
            [](const InstalledStub& a, const InstalledStub& b) {
              return a.target < b.target;
            });
  return found;
}

std::string locate_stub(const std::string& path, const std::string& written,
                        const std::vector<StubPlace>& places) {
  if (is_file(utf8_path(path)) || !is_target_name(written)) return path;
  std::vector<std::string> targets;
  for (const InstalledStub& stub : find_stubs(places)) {
    if (stub.target == written) return stub.path;
    targets.push_back(stub.target);
  }
  std::vector<std::string> looked_in;
  for (const StubPlace& place : places) {
    looked_in.push_back(describe_place(place));
  }
  throw refusal("no stub \"" + written +
                "\": no such file, and no target of that name\n"
                "  targets found: " +
                (targets.empty() ? "none" : joined(targets, ", ")) +
                "\n  looked in: " + joined(looked_in, "; "));
}

std::string stub_version(const std::string& image) {
  if (const std::optional<PeResources> resources = read_pe_resources(image)) {
    if (!resources->version) return std::string();
    for (const auto& [key, value] : resources->version->strings) {
      if (key == "FileVersion") return value;
    }
    return resources->version->file_version;
  }
  const std::string marker = VCBOOT_STUB_VERSION_MARKER;
  const std::size_t at = image.find(marker);
  if (at == std::string::npos) return std::string();
  const std::size_t start = at + marker.size();
  const std::size_t end = image.find('\0', start);
  if (end == std::string::npos || end - start > kLongestVersion)
    return std::string();
  const std::string version = image.substr(start, end - start);
  const bool printable =
      std::all_of(version.begin(), version.end(),
                  [](char c) { return c > ' ' && c < 0x7F; });
  return printable ? version : std::string();
}

std::string describe_place(const StubPlace& place) {
  if (place.is_variable && place.folder.empty()) {
    return "$VCBOOT_STUB_DIR (not set)";
  }
  std::string text =
      (place.is_variable ? "$VCBOOT_STUB_DIR=" : "") + place.folder;
  std::error_code error;
  if (!fs::is_directory(utf8_path(place.folder), error)) {
    text += " (no such folder)";
  }
  return text;
}

}  // namespace vcpack
