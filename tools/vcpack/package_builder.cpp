#include "tools/vcpack/package_builder.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "archive/byte_sink.h"
#include "archive/chunk_format.h"
#include "archive/chunk_writer.h"
#include "tools/vcpack/host.h"
#include "tools/vcpack/package_walk.h"
#include "tools/vcpack/tool_error.h"

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

std::uint64_t chunk_bytes(std::uint64_t payload) {
  return payload + format::kTrailerSize;
}

void check_payload(std::uint64_t size, const std::string& what) {
  if (size > format::kMaxPayloadSize) {
    throw refusal(
        what + " is " + std::to_string(size) +
        " bytes; the bootstrap takes payloads below 2^29 bytes (512 MiB)");
  }
}

// The size of a readable regular file, checked against the payload limit.
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
  check_payload(size, what + " " + path);
  return size;
}

std::string read_input(const std::string& path, const std::string& what,
                       std::uint64_t expected_size) {
  std::ifstream in(utf8_path(path), std::ios::binary);
  std::string bytes(static_cast<std::size_t>(expected_size), '\0');
  if (!in || !in.read(&bytes[0], static_cast<std::streamsize>(bytes.size())) ||
      in.peek() != std::ifstream::traits_type::eof()) {
    throw refusal("cannot read " + what + " " + path +
                  (in.bad() || !in.is_open()
                       ? std::string(": ") + std::strerror(errno)
                       : ": it changed while being read"));
  }
  return bytes;
}

// Sizes and names of every record, checked before anything is written.
std::uint64_t check_records(const PackageSpec& spec,
                            std::vector<std::uint64_t>& sizes) {
  std::uint64_t total = 0;
  for (const RecordSpec& record : spec.records) {
    if (record.kind == RecordSpec::Kind::kValue) {
      check_payload(record.name.size(), describe(record) + ": the name");
      check_payload(record.text.size(), describe(record) + ": the value");
      total += chunk_bytes(record.text.size()) +
               chunk_bytes(record.name.size()) +
               chunk_bytes(sizeof format::kValueType - 1);
      sizes.push_back(record.text.size());
      continue;
    }
    check_payload(record.key.size(), describe(record) + ": the key");
    const std::uint64_t size = input_size(record.path, kInputFile);
    total += chunk_bytes(size) + chunk_bytes(record.stored_name.size()) +
             chunk_bytes(record.key.size()) +
             chunk_bytes(sizeof format::kFileType - 1);
    sizes.push_back(size);
  }
  return total;
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

void write_records(const PackageSpec& spec,
                   const std::vector<std::uint64_t>& sizes,
                   vcboot::ChunkWriter& writer, BuildSummary& summary) {
  for (std::size_t i = 0; i < spec.records.size(); ++i) {
    const RecordSpec& record = spec.records[i];
    if (record.kind == RecordSpec::Kind::kValue) {
      writer.add_value(record.name, record.text);
      ++summary.value_records;
    } else {
      writer.add_file(record.key, record.stored_name,
                      read_input(record.path, kInputFile, sizes[i]));
      ++summary.file_records;
    }
  }
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
  const std::string image = checked_stub(spec.stub_path);
  const std::string stub_name = utf8_text(utf8_path(spec.stub_path).filename());
  std::vector<std::uint64_t> sizes;
  // The stub record's key and type are both "stub".
  const std::uint64_t stub_record =
      chunk_bytes(image.size()) + chunk_bytes(stub_name.size()) +
      2 * chunk_bytes(sizeof format::kStubType - 1);
  const std::uint64_t total = stub_record + check_records(spec, sizes) +
                              chunk_bytes(format::kTailMarkerSize);
  if (total > format::kMaxPackageSize) {
    throw refusal("the package would be " + std::to_string(total) +
                  " bytes; the bootstrap reads packages below 4 GiB");
  }
  BuildSummary summary;
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

}  // namespace vcpack
