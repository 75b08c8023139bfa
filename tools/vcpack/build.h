// What `vcpack build` does: it makes a package from a PackageSpec, the stub
// record, the records in the order given, and the tail chunk, with nothing
// that depends on the time or on the file system's order, so the same
// inputs give the same bytes. Around that it refuses an output that would
// replace one of its inputs, adds the exit-code record, converts texts to a
// code page, and checks the finished package with the very checks of list
// and verify (checks.h) before it takes the output's name.
//
// What the bootstrap could not read is refused before a byte is written: a
// file of 4 GiB or more, a name or value of 2^29 bytes or more, an input
// that cannot be read, an identity that the stub cannot take
// (stub_identity.h), and a stub that is no bootstrap (it lacks the tail
// marker text, which every bootstrap holds as a constant) or is a package
// already. Input files are copied in blocks, never held whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tools/vcpack/manifest.h"

namespace vcpack {

struct BuildSummary {
  std::uint64_t size = 0;
  std::size_t file_records = 0;
  std::size_t value_records = 0;
  // For the packager, one line each: what a download cut short could meet.
  std::vector<std::string> warnings;
};

// Called with the path of the finished package, still under its temporary
// name; throws to leave nothing written.
using PackageCheck = std::function<void(const std::string& path)>;

// Writes the package to `output` through a temporary file beside it. Throws
// a refusal (exit 1) for the inputs above, a usage or I/O error (exit 2) for
// a missing stub or an output that cannot be written, and whatever `check`
// throws.
BuildSummary build_package(const PackageSpec& spec, const std::string& output,
                           const PackageCheck& check = nullptr);

// Throws a usage error for an empty output, a folder, or a file that is the
// manifest (empty: none), the stub or an input file.
void check_output(const std::string& output, const std::string& manifest,
                  const PackageSpec& spec);

// Adds the value record "exitcode" = `policy` ("installer" or "post") last,
// so that it wins over any other; nothing for an empty policy.
void add_exit_code_record(const std::string& policy, PackageSpec& spec);

// Sets the package's "exit-code" setting to the "exitcode" that the archive
// binds, when the record that wins binds it to "installer" or "post" as
// such: a download cut short before that record then still returns 1603.
void add_exit_code_setting(PackageSpec& spec);

// The ANSI code pages of Windows: the code page of "the language for
// non-Unicode programs", in which the Windows bootstrap reads every name and
// value. No Windows system reads its narrow texts in any other, such as
// ISO-8859-2 or ISO-2022-JP (a code page with escape sequences).
inline constexpr unsigned kAnsiCodePages[] = {874,  932,  936,  949,  950,
                                              1250, 1251, 1252, 1253, 1254,
                                              1255, 1256, 1257, 1258};

// The number of an ANSI code page written as "CP1252", "1252" or
// "windows-1252" (in any case); none for any other text.
std::optional<unsigned> ansi_code_page(const std::string& name);

// Converts every stored name, key, variable name and value of `spec`, and
// every setting's text, from UTF-8 to `code_page`. Throws a usage error for a
// text that names no ANSI code page, a refusal for a text the code page cannot
// hold.
void encode_texts(const std::string& code_page, PackageSpec& spec);

// Checks the package at `path`, made from `spec`, and prints its findings
// under the names of the options or manifest lines that made the records.
// Throws a refusal when an error is left that `allowed` does not name.
void check_built_package(const std::string& path, const PackageSpec& spec,
                         const std::vector<std::string>& allowed);

}  // namespace vcpack
