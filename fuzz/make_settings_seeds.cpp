// Writes the seed corpus of settings_fuzzer: a few settings blocks made with
// the writer, each showing the fuzzer one part of the format.
//
//   make_settings_seeds fuzz/corpus/settings
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>

#include "bootstrap/settings_writer.h"

int main(int argc, char** argv) {
  using namespace vcboot;
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  const std::pair<const char*, SettingsEntries> seeds[] = {
      {"empty", {}},
      {"every_setting",
       {{"guard-name", "Acme.Setup"},
        {"exit-code", "post"},
        {"product-name", "Acme"},
        {"download-address", "https://acme.example/"},
        {"later.setting", "ignored"}}},
      {"texts",
       {{"invalid-archive.caption", "Ung\xFCltiges Archiv"},
        {"invalid-archive.text", "Bitte neu laden.\r\nDanke."},
        {"file-failure.path-label", "Datei: "},
        {"file-failure.error-label", "\rFehler: "},
        {"unhandled-exception.caption", ""}}},
  };
  for (const auto& [name, entries] : seeds) {
    const SettingsWrite block = write_settings_block(entries);
    // The ELF stub's room: the block, then zeros to its end.
    std::string room = block.bytes;
    if (std::string(name) == "texts") room.resize(512, '\0');
    std::ofstream out(std::string(argv[1]) + "/" + name, std::ios::binary);
    out.write(room.data(), static_cast<std::streamsize>(room.size()));
    if (!block.ok() || !out) {
      std::fprintf(stderr, "cannot write %s: %s\n", name, block.error.c_str());
      return 1;
    }
  }
  return 0;
}
