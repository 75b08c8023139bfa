// Writes the seed corpus of archive_fuzzer: a few small packages made with
// ChunkWriter, each showing the fuzzer one part of the format.
//
//   make_archive_seeds fuzz/corpus/archive
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

#include "archive/chunk_writer.h"
#include "tests/support/sample_package.h"

namespace vcboot::fuzzing {
namespace {

using Records = std::function<void(ChunkWriter&)>;

// A stub record with a small image, then `records`, the tail and a few zero
// bytes behind it.
std::string package(const Records& records) {
  StringSink sink;
  ChunkWriter writer(sink);
  writer.add_stub(test_support::filler_bytes(64, 1), "setup.exe");
  records(writer);
  writer.add_tail();
  writer.add_trailing(std::string(5, '\0'));
  return sink.bytes();
}

// A signed package: a PE image whose header names the certificate table
// behind the tail, and a forged tail inside the table.
std::string signed_package() {
  StringSink forged_sink;
  ChunkWriter forged(forged_sink);
  forged.add_value("executable", "forged.exe");
  forged.add_tail();
  StringSink sink;
  ChunkWriter writer(sink);
  writer.add_stub(test_support::make_pe_image(1024), "setup.exe");
  writer.add_file("installer", "Setup.exe", test_support::filler_bytes(200, 2));
  writer.add_value("executable", "%installer%");
  writer.add_tail();
  writer.add_trailing(std::string(3, '\0'));
  const auto table_at = static_cast<std::uint32_t>(writer.size());
  const std::string table =
      test_support::make_certificate_table(320, forged_sink.bytes());
  writer.add_trailing(table);
  test_support::name_certificate_table(
      sink.bytes(), table_at, static_cast<std::uint32_t>(table.size()));
  return sink.bytes();
}

bool write_seed(const std::string& folder, const std::string& name,
                const std::string& bytes) {
  std::ofstream out(folder + "/" + name, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace
}  // namespace vcboot::fuzzing

int main(int argc, char** argv) {
  using namespace vcboot;
  using fuzzing::package;
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  const std::pair<const char*, std::string> seeds[] = {
      {"values", package([](ChunkWriter& writer) {
         writer.add_value("executable", "%installer%");
         writer.add_value("parameters", "/passive %msi_parameters%");
       })},
      {"files", package([](ChunkWriter& writer) {
         writer.add_file("post", "post.exe",
                         test_support::filler_bytes(300, 3));
         writer.add_file("installer", "Setup.exe",
                         test_support::filler_bytes(500, 4));
         writer.add_file("", "EN5.ini", "[Strings]\r\nTitle=Setup\r\n");
         writer.add_value("executable", "%installer%");
       })},
      {"odd_records", package([](ChunkWriter& writer) {
         writer.add_file("", "same.txt", "nearer the start");
         writer.add_file("", "same.txt", "nearer the end");
         writer.add_file("", "missing\\file.txt", "no folder for it");
         writer.add_file("", "empty.txt", "");
         writer.add_value("", "empty name");
         writer.add_value("empty", "");
         writer.add_record("Value", {"skipped"});
         writer.add_tail();
         writer.add_value("name", "first");
         writer.add_value("name", "second");
       })},
      {"unsafe_name", package([](ChunkWriter& writer) {
         writer.add_file("key", "..\\evil.exe", "outside");
         writer.add_file("", "NUL", "device");
       })},
      {"damaged",
       [] {
         std::string bytes = package([](ChunkWriter& writer) {
           writer.add_file("", "a.txt", "damaged below");
           writer.add_value("name", "value");
         });
         bytes[bytes.find("damaged below")] ^= 0x40;
         return bytes;
       }()},
      {"signed", fuzzing::signed_package()},
  };
  for (const auto& [name, bytes] : seeds) {
    if (!fuzzing::write_seed(folder, name, bytes)) {
      std::fprintf(stderr, "cannot write %s/%s\n", folder.c_str(), name);
      return 1;
    }
  }
  return 0;
}
