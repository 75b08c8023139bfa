// libFuzzer target: the input is a package file, read as `vcpack list` and
// `vcpack verify` read it (walk, checks, text and JSON reports) on the fake
// platform. The same bytes are also read as a stub image for its resources,
// and as the texts of a sound package, which is then read in turn.
//
// Beyond what the sanitizers catch, every report must be safe to print (the
// JSON pure ASCII; the text free of control bytes, broken UTF-8 and
// characters that steer a terminal), and where the fake file system writes
// what the package's system would, the walk's outcome must be what the
// bootstrap's own extraction does.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>

#include "archive/archive_extractor.h"
#include "archive/byte_sink.h"
#include "archive/chunk_writer.h"
#include "platform/fake/fake_platform.h"
#include "tools/vcpack/checks.h"
#include "tools/vcpack/package_outcome.h"
#include "tools/vcpack/pe_resource_tree.h"
#include "tools/vcpack/pe_resources.h"
#include "tools/vcpack/report.h"
#include "tools/vcpack/stub_identity.h"

namespace vcpack::fuzzing {
namespace {

// walk_package asks the host whether the path is a folder; it is read from
// the fake platform only.
constexpr char kPackage[] = "C:\\package.exe";
constexpr char kWorkFolder[] = "C:\\work\\";

void require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "vcpack_fuzzer: %s\n", what);
  std::abort();
}

// The code point of the UTF-8 sequence at `text[i]`, its length in
// `*length`; none when the bytes there are no well-formed sequence.
std::optional<char32_t> decode(const std::string& text, std::size_t i,
                               std::size_t* length) {
  const auto byte = static_cast<unsigned char>(text[i]);
  const std::size_t size = byte < 0x80   ? 1
                           : byte < 0xC2 ? 0
                           : byte < 0xE0 ? 2
                           : byte < 0xF0 ? 3
                           : byte < 0xF5 ? 4
                                         : 0;
  if (size == 0 || i + size > text.size()) return std::nullopt;
  char32_t code = size == 1 ? byte : byte & (0x7F >> size);
  for (std::size_t k = 1; k < size; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    code = code << 6 | (next & 0x3F);
  }
  const char32_t lowest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < lowest[size] || code > 0x10FFFF ||
      (code >= 0xD800 && code < 0xE000)) {
    return std::nullopt;
  }
  *length = size;
  return code;
}

// Whether `text` reaches a terminal as vcpack promises: line breaks, and
// otherwise only characters that are shown as they are.
bool printable(const std::string& text) {
  for (std::size_t i = 0, length = 0; i < text.size(); i += length) {
    const std::optional<char32_t> code = decode(text, i, &length);
    if (!code) return false;
    const bool control =
        (*code < 0x20 && *code != '\n') || (*code >= 0x7F && *code <= 0x9F);
    const bool steering = *code == 0x61C || *code == 0x200E ||
                          *code == 0x200F ||
                          (*code >= 0x2028 && *code <= 0x202E) ||
                          (*code >= 0x2066 && *code <= 0x2069);
    if (control || steering) return false;
  }
  return true;
}

bool ascii(const std::string& text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

void check_reports(const PackageWalk& walk, const CheckedPackage& checked) {
  std::ostringstream json;
  write_package_json(json, walk, checked);
  write_verify_json(json, walk, checked);
  require(ascii(json.str()), "a JSON report that is not pure ASCII");
  std::string text = listing_text(walk, checked) + walk_end_text(walk) +
                     launch_text(checked) + exit_code_text(checked);
  for (const Finding& finding : checked.findings) text += finding_line(finding);
  for (const Finding& finding : damage_findings(walk)) {
    text += finding_line(finding);
  }
  require(printable(text), "a text report that steers the terminal");
}

// Whether the fake file system, whose names are Windows paths compared
// exactly, writes every file that the outcome says the bootstrap writes on
// the package's system: it must stop at no name, and on POSIX no name may
// hold a backslash, which is a separator here.
bool fake_writes_as_target(const PackageWalk& walk,
                           const PackageOutcome& outcome) {
  if (outcome.stop == WalkStop::kRefusedName ||
      outcome.stop == WalkStop::kUnwritableName) {
    return false;
  }
  if (outcome.target == TargetSystem::kWindows) return true;
  for (std::size_t i = 0; i < outcome.acted_on; ++i) {
    if (walk.records[i].file_name.find('\\') != std::string::npos) return false;
  }
  return true;
}

void check_outcome_is_extraction(vcboot::FakePlatform& platform,
                                 const PackageWalk& walk,
                                 const PackageOutcome& outcome) {
  if (!fake_writes_as_target(walk, outcome)) return;
  vcboot::ExtractionState state;
  state.work_folder = kWorkFolder;
  bind_bootstrap_variables(state.variables);
  const vcboot::ExtractionEnd end =
      vcboot::ArchiveExtractor(platform, state).extract(kPackage);

  require(outcome.launches == (end == vcboot::ExtractionEnd::kComplete),
          "the outcome and the extraction differ in whether it is complete");
  std::map<std::string, std::string> bound;
  for (const Binding& binding : outcome.bindings) {
    bound[binding.name] = binding.value;
  }
  require(bound == state.variables.entries(),
          "the outcome and the extraction bind differently");
  std::set<std::string> outcome_files, written;
  for (const WrittenFile& file : outcome.files) {
    outcome_files.insert(file_key(file.name, outcome.target));
  }
  for (const std::string& name : platform.files_in(kWorkFolder)) {
    written.insert(file_key(name, outcome.target));
  }
  require(outcome_files == written,
          "the outcome and the extraction write different files");
}

// Reads `package` as list and verify do, and checks what they make of it.
void read_as_vcpack_does(const std::string& package) {
  vcboot::FakePlatform platform;
  platform.keep_log(false);
  platform.add_directory(kWorkFolder);
  platform.add_file(kPackage, package);
  const PackageWalk walk = walk_package(platform, kPackage);
  const CheckedPackage checked = check_package(walk);
  check_reports(walk, checked);
  check_outcome_is_extraction(platform, walk, checked.outcome);
}

// The input read as the texts of a sound package, every digest right, so
// that the checks behind the damage checks (names, the launch) meet hostile
// texts too. Strings as FuzzedDataProvider::ConsumeRandomLengthString reads
// them (a backslash and any other byte end one): the stub image and its file
// name, then two strings per record, a third for a file's content, and the
// record's type from the input's last bytes.
std::string sound_package(const std::string& bytes) {
  FuzzedDataProvider input(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                           bytes.size());
  vcboot::StringSink sink;
  vcboot::ChunkWriter writer(sink);
  const std::string image = input.ConsumeRandomLengthString();
  writer.add_stub(image, input.ConsumeRandomLengthString());
  while (input.remaining_bytes() > 0) {
    const std::string first = input.ConsumeRandomLengthString();
    const std::string second = input.ConsumeRandomLengthString();
    switch (input.ConsumeIntegralInRange(0, 3)) {
      case 0:
        writer.add_value(first, second);
        break;
      case 1:
        writer.add_file(first, second, input.ConsumeRandomLengthString());
        break;
      case 2:
        writer.add_record(first, {second});
        break;
      default:
        writer.add_tail();
    }
  }
  writer.add_tail();
  return sink.bytes();
}

bool same_key(const Resource& a, const Resource& b) {
  return a.type == b.type && a.name == b.name && a.language == b.language;
}

// The input as a stub whose resource tree vcpack rewrites: whatever tree it
// reads, the tree it writes reads back whole, and writing that again makes
// the very same image (the tree's section is then the last, and is reused).
void rewrite_resources(const std::string& image) {
  const ResourceList tree = read_resource_tree(image);
  if (!tree.ok()) return;
  for (std::size_t i = 0; i < tree.resources.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (same_key(tree.resources[i], tree.resources[j])) return;
    }
  }
  const ImageWrite written = write_resource_tree(image, tree.resources);
  if (!written.ok()) return;
  const ResourceList again = read_resource_tree(written.bytes);
  require(again.ok() && again.resources.size() == tree.resources.size(),
          "a written resource tree does not read back whole");
  read_stub_settings(written.bytes);
  read_pe_resources(written.bytes);
  const ImageWrite twice = write_resource_tree(written.bytes, again.resources);
  require(twice.ok() && twice.bytes == written.bytes,
          "a resource tree written twice makes another image");
}

void fuzz_one(const std::string& bytes) {
  // A stub image on its own, whatever the package around it says.
  read_pe_resources(bytes);
  read_stub_settings(bytes);
  icon_resources(bytes);
  rewrite_resources(bytes);
  read_as_vcpack_does(bytes);
  read_as_vcpack_does(sound_package(bytes));
}

}  // namespace
}  // namespace vcpack::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  vcpack::fuzzing::fuzz_one(
      std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
