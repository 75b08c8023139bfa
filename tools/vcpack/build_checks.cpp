#include "tools/vcpack/build_checks.h"

#include <algorithm>
#include <filesystem>
#include <iostream>

#include "platform/platform.h"
#include "tools/vcpack/checks.h"
#include "tools/vcpack/host.h"
#include "tools/vcpack/package_walk.h"
#include "tools/vcpack/tool_error.h"
#include "variables/well_known_names.h"

namespace vcpack {
namespace {

namespace fs = std::filesystem;
namespace names = vcboot::variable_names;

bool same_file(const std::string& a, const std::string& b) {
  std::error_code error;
  return !b.empty() && fs::equivalent(utf8_path(a), utf8_path(b), error) &&
         !error;
}

std::string error_names() {
  std::string list;
  for (const FindingKind& kind : kFindingKinds) {
    if (kind.severity != Severity::kError || kind.damage) continue;
    list += (list.empty() ? "" : ", ") + std::string(kind.id);
  }
  return list;
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

void check_output(const BuildOptions& options, const PackageSpec& spec) {
  const std::string& output = options.output;
  if (output.empty()) throw usage_or_io_error("--output needs a file name");
  std::error_code error;
  if (fs::is_directory(utf8_path(output), error)) {
    throw usage_or_io_error("--output " + output +
                            " is a folder; name the package file to write");
  }
  std::string input;
  if (same_file(output, options.manifest)) input = "the manifest";
  if (same_file(output, spec.stub_path)) input = "the stub";
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

void check_allowed(const std::vector<std::string>& allowed) {
  for (const std::string& id : allowed) {
    const FindingKind* kind = find_kind(id);
    if (kind == nullptr || kind->severity != Severity::kError || kind->damage) {
      throw usage_or_io_error(
          "--allow " + id +
          ": build refuses no error of that name; --allow takes one of " +
          error_names());
    }
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

void encode_texts(const std::string& code_page, PackageSpec& spec) {
  if (code_page.empty()) return;
  const std::unique_ptr<TextEncoder> encoder = make_text_encoder(code_page);
  if (!encoder) {
    throw usage_or_io_error("--encoding " + code_page +
                            ": the system knows no such code page (`iconv "
                            "--list` shows those it knows)");
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
}

void review_built_package(const std::string& path, const PackageSpec& spec,
                          const std::vector<std::string>& allowed) {
  const PackageWalk walk = walk_package(host_platform(), path);
  const PackageReview review = review_package(walk, [&spec](std::size_t index) {
    return built_record_label(spec, index);
  });
  std::size_t errors = 0;
  for (const Finding& finding : review.findings) {
    const bool accepted =
        std::find(allowed.begin(), allowed.end(), finding.id) != allowed.end();
    if (finding.severity == Severity::kError && !accepted) ++errors;
    std::cerr << finding_line(finding, accepted) << "\n";
  }
  if (errors > 0) {
    throw refusal("nothing written: " + std::to_string(errors) +
                  (errors == 1 ? " error" : " errors") +
                  " the package cannot run with; --allow ID accepts an error "
                  "on purpose");
  }
}

}  // namespace vcpack
