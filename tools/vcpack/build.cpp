#include "tools/vcpack/build.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "archive/byte_sink.h"
#include "archive/chunk_format.h"
#include "archive/chunk_writer.h"
#include "bootstrap/package_settings.h"
#include "tools/vcpack/checks.h"
#include "tools/vcpack/host.h"
#include "tools/vcpack/package_walk.h"
#include "tools/vcpack/stub_identity.h"
#include "tools/vcpack/tool_error.h"
#include "variables/well_known_names.h"

namespace vcpack {
namespace {

namespace fs = std::filesystem;
namespace format = vcboot::chunk_format;

class FileSink : public vcboot::ByteSink {
 public:
  explicit FileSink(AtomicOutputFile& file) : file_(file) {}
  void write(const char* data, std::size_t size) override {
    file_.write(data, size);
  }

 private:
  AtomicOutputFile& file_;
};

constexpr char kInputFile[] = "input file";
constexpr char kFoldersCannotBePacked[] =
    ". Only files can be packed: the bootstrap makes no folders, so it could "
    "not write the files of one (which is also why there is no --dir); give "
    "each file with --file";

// Names and values: texts that the bootstrap holds whole.
void check_text(std::uint64_t size, const std::string& what) {
  if (size > format::kMaxTextSize) {
    throw refusal(
        what + " is " + std::to_string(size) +
        " bytes; the bootstrap takes names and values below 2^29 bytes "
        "(512 MiB)");
  }
}

// A file's content, which the length field bounds.
void check_content(std::uint64_t size, const std::string& what) {
  if (size > format::kMaxPayloadSize) {
    throw refusal(what + " is " + std::to_string(size) +
                  " bytes; a package holds files of at most 4294967295 bytes "
                  "(4 GiB - 1 byte): split it into parts of that size or "
                  "less, and let the installer join them");
  }
}

// The size of a readable regular file, checked against the content limit.
std::uint64_t input_size(const std::string& path, const std::string& what) {
  const fs::path file = utf8_path(path);
  std::error_code error;
  if (fs::is_directory(file, error)) {
    throw refusal("cannot read " + what + " " + path + ": it is a folder" +
                  (what == kInputFile ? kFoldersCannotBePacked : ""));
  }
  if (!fs::is_regular_file(file, error)) {
    throw refusal(
        "cannot read " + what + " " + path +
        (fs::exists(file, error) ? ": not a regular file" : ": no such file"));
  }
  const std::uint64_t size = fs::file_size(file, error);
  if (error)
    throw refusal("cannot read " + what + " " + path + ": " + error.message());
  check_content(size, what + " " + path);
  return size;
}

// An input read forwards in blocks as its chunk is written, never whole. It
// notes whether the tail marker text occurs in it, also across the edges of
// the blocks.
class InputFile : public vcboot::PayloadSource {
 public:
  InputFile(const std::string& path, const std::string& what)
      : in_(utf8_path(path), std::ios::binary), path_(path), what_(what) {
    if (!in_) fail();
  }

  void read(char* buffer, std::size_t size) override {
    if (!in_.read(buffer, static_cast<std::streamsize>(size))) fail();
    note_marker(std::string_view(buffer, size));
  }

  // After the last block: the file must have ended there too.
  void finish() {
    if (in_.peek() != std::ifstream::traits_type::eof()) fail();
  }

  bool holds_tail_marker() const { return holds_marker_; }

 private:
  [[noreturn]] void fail() {
    throw refusal("cannot read " + what_ + " " + path_ +
                  (in_.bad() || !in_.is_open()
                       ? std::string(": ") + std::strerror(errno)
                       : ": it changed while being read"));
  }

  void note_marker(std::string_view block) {
    const std::size_t overlap = format::kTailMarkerSize - 1;
    const std::string edge =
        carried_ +
        std::string(block.substr(0, std::min(overlap, block.size())));
    if (edge.find(format::kTailMarker) != std::string::npos ||
        block.find(format::kTailMarker) != std::string_view::npos) {
      holds_marker_ = true;
    }
    // The last bytes seen, which a marker may begin in.
    carried_ += block.substr(block.size() - std::min(overlap, block.size()));
    if (carried_.size() > overlap) carried_.erase(0, carried_.size() - overlap);
  }

  std::ifstream in_;
  std::string path_;
  std::string what_;
  std::string carried_;
  bool holds_marker_ = false;
};

std::string read_input(const std::string& path, const std::string& what,
                       std::uint64_t expected_size) {
  InputFile in(path, what);
  std::string bytes(static_cast<std::size_t>(expected_size), '\0');
  in.read(&bytes[0], bytes.size());
  in.finish();
  return bytes;
}

// Names and values of every record, and the size of every input file (0
// for a value), checked before anything is written.
std::vector<std::uint64_t> checked_sizes(const PackageSpec& spec) {
  std::vector<std::uint64_t> sizes;
  for (const RecordSpec& record : spec.records) {
    if (record.kind == RecordSpec::Kind::kValue) {
      check_text(record.name.size(), describe(record) + ": the name");
      check_text(record.text.size(), describe(record) + ": the value");
      sizes.push_back(0);
      continue;
    }
    check_text(record.key.size(), describe(record) + ": the key");
    check_text(record.stored_name.size(), describe(record) + ": the name");
    sizes.push_back(input_size(record.path, kInputFile));
  }
  return sizes;
}

// Reads the stub and makes sure that it is a bare bootstrap.
std::string checked_stub(const std::string& path) {
  const std::string image = read_input(path, "stub", input_size(path, "stub"));
  if (image.find(format::kTailMarker) == std::string::npos) {
    throw refusal("the stub " + path +
                  " is not a vcboot bootstrap: it lacks the text \"" +
                  format::kTailMarker + "\" that every bootstrap holds");
  }
  const PackageWalk walk = walk_package(host_platform(), path);
  if (!walk.records.empty() && walk.records[0].type == RecordType::kTail &&
      walk.records[0].verified()) {
    throw refusal("the stub " + path +
                  " is a package already; give the bare bootstrap");
  }
  return image;
}

bool holds_tail_marker(const std::string& text) {
  return text.find(format::kTailMarker) != std::string::npos;
}

// The stub with the package's identity written into its copy; the stub
// itself when the package sets none.
std::string stub_with_identity(const std::string& image,
                               const PackageSpec& spec, BuildSummary& summary) {
  const StubIdentity& identity = spec.identity;
  std::string icon;
  if (!identity.icon.empty()) {
    const std::uint64_t size = input_size(identity.icon, "icon");
    if (size > kMaxIconFileSize) {
      throw refusal("the icon " + identity.icon + " is " +
                    std::to_string(size) +
                    " bytes; an icon file takes at most " +
                    std::to_string(kMaxIconFileSize));
    }
    icon = read_input(identity.icon, "icon", size);
  }
  StubWrite stub = write_stub_identity(image, identity, icon);
  if (!stub.ok()) {
    throw refusal("cannot write the package's identity into the stub " +
                  spec.stub_path + ": " + stub.error);
  }
  for (const std::string& warning : stub.warnings) {
    summary.warnings.push_back("the stub " + spec.stub_path + ": " + warning);
  }
  return std::move(stub.bytes);
}

// A payload that holds the tail marker text, most often another package
// carried as a file, is where a download cut short behind it finds a tail.
void warn_of_tail_marker(const RecordSpec& record, bool holds_marker,
                         BuildSummary& summary) {
  if (!holds_marker) return;
  summary.warnings.push_back(
      describe(record) + " holds the text \"" + format::kTailMarker +
      "\" of a tail chunk: a download of the package cut short behind it "
      "ends in that text, and the bootstrap, whose walk then ends at a stub "
      "record that does not begin the file, shows \"Invalid Archive!\" "
      "and starts nothing");
}

void write_records(const PackageSpec& spec,
                   const std::vector<std::uint64_t>& sizes,
                   vcboot::ChunkWriter& writer, BuildSummary& summary) {
  for (std::size_t i = 0; i < spec.records.size(); ++i) {
    const RecordSpec& record = spec.records[i];
    if (record.kind == RecordSpec::Kind::kValue) {
      warn_of_tail_marker(
          record,
          holds_tail_marker(record.name) || holds_tail_marker(record.text),
          summary);
      writer.add_value(record.name, record.text);
      ++summary.value_records;
    } else {
      InputFile content(record.path, kInputFile);
      writer.add_file(record.key, record.stored_name, sizes[i], content);
      content.finish();
      warn_of_tail_marker(record,
                          holds_tail_marker(record.key) ||
                              holds_tail_marker(record.stored_name) ||
                              content.holds_tail_marker(),
                          summary);
      ++summary.file_records;
    }
  }
}

namespace names = vcboot::variable_names;

bool same_file(const std::string& a, const std::string& b) {
  std::error_code error;
  return !b.empty() && fs::equivalent(utf8_path(a), utf8_path(b), error) &&
         !error;
}

std::string encoded(TextEncoder& encoder, const std::string& text,
                    const std::string& code_page, const RecordSpec& record,
                    const char* what) {
  std::optional<std::string> result = encoder.from_utf8(text);
  if (!result) {
    throw refusal(describe(record) + ": the " + what +
                  " is no UTF-8, or holds a character that " + code_page +
                  " has no place for");
  }
  return *result;
}

// The record that walk index `index` shows: the walk reads from the end, so
// behind the tail chunk come the records in reverse, then the stub record.
std::string built_record_label(const PackageSpec& spec, std::size_t index) {
  const std::size_t count = spec.records.size();
  if (index == 0) return "the tail chunk";
  if (index > count) return "the stub " + spec.stub_path;
  return describe(spec.records[count - index]);
}

}  // namespace

BuildSummary build_package(const PackageSpec& spec, const std::string& output,
                           const PackageCheck& check) {
  if (output == "-") {
    throw usage_or_io_error(
        "--output - is not supported: a package is written beside "
        "its destination and renamed when complete");
  }
  if (spec.stub_path.empty()) {
    throw usage_or_io_error("no stub: give --stub or \"stub\" in the manifest");
  }
  BuildSummary summary;
  const std::string image =
      stub_with_identity(checked_stub(spec.stub_path), spec, summary);
  const std::string stub_name = utf8_text(utf8_path(spec.stub_path).filename());
  const std::vector<std::uint64_t> sizes = checked_sizes(spec);
  AtomicOutputFile file(output);
  FileSink sink(file);
  vcboot::ChunkWriter writer(sink);
  writer.add_stub(image, stub_name);
  write_records(spec, sizes, writer, summary);
  writer.add_tail();
  // Closed first: Windows lets no reader open a file that is open for
  // writing.
  file.finish();
  if (check) check(file.temporary_path());
  file.commit();
  summary.size = writer.size();
  return summary;
}

void check_output(const std::string& output, const std::string& manifest,
                  const PackageSpec& spec) {
  if (output.empty()) throw usage_or_io_error("--output needs a file name");
  std::error_code error;
  if (fs::is_directory(utf8_path(output), error)) {
    throw usage_or_io_error("--output " + output +
                            " is a folder; name the package file to write");
  }
  std::string input;
  if (same_file(output, manifest)) input = "the manifest";
  if (same_file(output, spec.stub_path)) input = "the stub";
  if (same_file(output, spec.identity.icon)) input = "the icon";
  for (const RecordSpec& record : spec.records) {
    if (input.empty() && record.kind == RecordSpec::Kind::kFile &&
        same_file(output, record.path)) {
      input = "the input file of " + record.origin;
    }
  }
  if (!input.empty()) {
    throw usage_or_io_error("--output " + output + " is " + input +
                            ", which the package would replace; choose "
                            "another output");
  }
}

void add_exit_code_record(const std::string& policy, PackageSpec& spec) {
  if (policy.empty()) return;
  if (policy != vcboot::exit_code_values::kInstaller &&
      policy != vcboot::exit_code_values::kPost) {
    throw usage_or_io_error(
        "--exit-code takes \"installer\" or \"post\", not \"" + policy + "\"");
  }
  spec.records.push_back(value_record(names::kExitCode, policy, "--exit-code"));
}

void add_exit_code_setting(PackageSpec& spec) {
  for (auto record = spec.records.rbegin(); record != spec.records.rend();
       ++record) {
    if (record->kind != RecordSpec::Kind::kValue ||
        record->name != names::kExitCode) {
      continue;
    }
    if (record->text == vcboot::exit_code_values::kInstaller ||
        record->text == vcboot::exit_code_values::kPost) {
      set_setting(spec.identity, {vcboot::setting_names::kExitCode,
                                  record->text, describe(*record), true});
    }
    return;
  }
}

std::optional<unsigned> ansi_code_page(const std::string& name) {
  std::string digits = name;
  for (const char* prefix : {"windows-", "cp"}) {
    const std::size_t size = std::strlen(prefix);
    if (digits.size() > size &&
        std::equal(prefix, prefix + size, digits.begin(), [](char p, char c) {
          return p == std::tolower(static_cast<unsigned char>(c));
        })) {
      digits = digits.substr(size);
      break;
    }
  }
  if (digits.empty() || digits.size() > 4 ||
      digits.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const auto number = static_cast<unsigned>(std::stoul(digits));
  const auto& pages = kAnsiCodePages;
  if (std::find(std::begin(pages), std::end(pages), number) == std::end(pages))
    return std::nullopt;
  return number;
}

void encode_texts(const std::string& code_page, PackageSpec& spec) {
  if (code_page.empty()) return;
  const std::optional<unsigned> number = ansi_code_page(code_page);
  if (!number) {
    throw usage_or_io_error(
        "--encoding " + code_page +
        ": not a code page that Windows reads narrow texts in; --encoding "
        "takes CP874, CP932, CP936, CP949, CP950 or CP1250 to CP1258");
  }
  const std::unique_ptr<TextEncoder> encoder =
      make_text_encoder("CP" + std::to_string(*number));
  if (!encoder) {
    throw usage_or_io_error("--encoding " + code_page +
                            ": this system cannot convert to it");
  }
  for (RecordSpec& record : spec.records) {
    if (record.kind == RecordSpec::Kind::kFile) {
      record.key = encoded(*encoder, record.key, code_page, record, "key");
      record.stored_name = encoded(*encoder, record.stored_name, code_page,
                                   record, "stored name");
    } else {
      record.name = encoded(*encoder, record.name, code_page, record, "name");
      record.text = encoded(*encoder, record.text, code_page, record, "value");
    }
  }
  for (SettingValue& setting : spec.identity.settings) {
    std::optional<std::string> text = encoder->from_utf8(setting.value);
    if (!text) {
      throw refusal(setting.origin + ": the text of " + setting.name +
                    " is no UTF-8, or holds a character that " + code_page +
                    " has no place for");
    }
    setting.value = *text;
  }
}

void check_built_package(const std::string& path, const PackageSpec& spec,
                         const std::vector<std::string>& allowed) {
  const PackageWalk walk = walk_package(host_platform(), path);
  const CheckedPackage checked = check_package(
      walk,
      [&spec](std::size_t index) { return built_record_label(spec, index); },
      allowed);
  for (const Finding& finding : checked.findings) {
    std::cerr << finding_line(finding) << "\n";
  }
  const std::size_t errors = checked.count(Severity::kError);
  if (errors > 0) {
    throw refusal("nothing written: " + std::to_string(errors) +
                  (errors == 1 ? " error" : " errors") +
                  " the package cannot run with; --allow ID accepts an error "
                  "on purpose (give verify the same)");
  }
}

}  // namespace vcpack
