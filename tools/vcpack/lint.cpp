#include "tools/vcpack/lint.h"

#include <algorithm>

#include "tools/vcpack/display_text.h"
#include "tools/vcpack/lint_context.h"
#include "tools/vcpack/target_names.h"
#include "util/messages.h"
#include "variables/well_known_names.h"

namespace vcpack {
namespace {

namespace messages = vcboot::messages;

// Bytes from 0x80 up that form UTF-8 sequences: text written in UTF-8,
// which a Windows bootstrap reads as bytes of the ANSI code page.
bool holds_utf8_beyond_ascii(const std::string& text) {
  bool beyond = false;
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const std::size_t length = byte < 0x80           ? 1
                               : (byte >> 5) == 0x6  ? 2
                               : (byte >> 4) == 0xE  ? 3
                               : (byte >> 3) == 0x1E ? 4
                                                     : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) >> 6) != 0x2) return false;
    }
    beyond = beyond || length > 1;
    i += length;
  }
  return beyond;
}

void check_text_encoding(LintContext& lint, std::size_t index) {
  const WalkedRecord& record = lint.walk.records[index];
  std::vector<std::string> parts;
  const bool is_file = record.type == RecordType::kFile;
  if (is_file && holds_utf8_beyond_ascii(record.file_name))
    parts.push_back("file name");
  if (holds_utf8_beyond_ascii(record.name))
    parts.push_back(is_file ? "key" : "name");
  if (!is_file && holds_utf8_beyond_ascii(record.value))
    parts.push_back("value");
  if (parts.empty()) return;
  std::string list = parts[0];
  for (std::size_t i = 1; i < parts.size(); ++i)
    list += (i + 1 == parts.size() ? " and " : ", ") + parts[i];
  lint.add_for_record(
      "utf8-text", index,
      lint.label(index) + ": its " + list +
          " holds UTF-8 text beyond ASCII, which the Windows bootstrap reads "
          "as bytes of the user's ANSI code page; build with --encoding and "
          "the users' code page, such as CP1252");
}

// What a file record's name does on the package's system.
void check_file_name(LintContext& lint, std::size_t index) {
  const WalkedRecord& record = lint.walk.records[index];
  const std::string& name = record.file_name;
  const bool stops_here = index == lint.outcome.acted_on;
  const std::string stop =
      stops_here ? std::string("; the bootstrap stops there with \"") +
                       messages::kFailedToExtractFile + "\""
                 : "";
  switch (name_problem(name, lint.outcome.target)) {
    case NameProblem::kRefused:
      lint.add_for_record(
          "refused-name", index,
          lint.label(index) + ": the bootstrap refuses the file name " +
              quoted(name) +
              " (empty, absolute, with a ':' or a zero byte, with an empty, "
              "\".\" or \"..\" part or one ending in a dot or a blank, or a "
              "device name such as NUL)" +
              stop);
      return;
    case NameProblem::kFolderPart:
      lint.add_for_record(
          "folder-in-name", index,
          lint.label(index) + ": the file name " + quoted(name) +
              " has a folder part, and the bootstrap makes no folders, so it "
              "cannot write the file" +
              stop);
      return;
    case NameProblem::kTooLong:
      lint.add_for_record("name-too-long", index,
                          lint.label(index) + ": the file name is " +
                              std::to_string(name.size()) +
                              " bytes long, and no system takes more than " +
                              std::to_string(kMaxNameBytes) + " bytes" + stop);
      return;
    case NameProblem::kNone:
      break;
  }
  if (lint.windows() &&
      name.size() + kTypicalWorkFolderPath > kMaxWindowsPath) {
    lint.add_for_record(
        "long-path", index,
        lint.label(index) + ": the name is " + std::to_string(name.size()) +
            " bytes; behind a work folder path of " +
            std::to_string(kTypicalWorkFolderPath) +
            " bytes (the standard one of a user name of 20 characters) it "
            "passes "
            "the " +
            std::to_string(kMaxWindowsPath) + " bytes of a Windows path");
  }
  lint.track_file(index);
}

// Records the bootstrap skips or whose binding it ignores.
void check_record(LintContext& lint, std::size_t index) {
  const WalkedRecord& record = lint.walk.records[index];
  if (record.type == RecordType::kOther) {
    lint.add_for_record("unknown-record-type", index,
                        lint.label(index) +
                            " has a type the bootstrap does not know; it is "
                            "skipped");
  }
  const bool binds = record.type == RecordType::kValue ||
                     (record.type == RecordType::kFile && !record.name.empty());
  if (binds && is_bootstrap_variable(record.name)) {
    lint.add_for_record("binds-bootstrap-variable", index,
                        lint.label(index) + " binds \"" + record.name +
                            "\", which the bootstrap sets itself: it is "
                            "ignored");
  }
}

void check_records(LintContext& lint) {
  for (std::size_t i = 0; i < lint.intended.acted_on; ++i) {
    const WalkedRecord& record = lint.walk.records[i];
    if (lint.windows()) check_text_encoding(lint, i);
    check_record(lint, i);
    if (record.type == RecordType::kFile) check_file_name(lint, i);
  }
}

}  // namespace

std::size_t PackageReview::count(Severity severity) const {
  return static_cast<std::size_t>(std::count_if(
      findings.begin(), findings.end(), [severity](const Finding& finding) {
        return finding.severity == severity;
      }));
}

ExitCodePolicy exit_code_policy(const std::string& expanded) {
  namespace names = vcboot::variable_names;
  if (expanded == vcboot::exit_code_values::kInstaller)
    return ExitCodePolicy::kInstaller;
  if (expanded == vcboot::exit_code_values::kPost) return ExitCodePolicy::kPost;
  return ExitCodePolicy::kDefault;
}

std::vector<Finding> damage_findings(const PackageWalk& walk) {
  PackageReview review;
  LintContext lint(walk, review, nullptr);
  lint.check_damage();
  return review.findings;
}

PackageReview review_package(const PackageWalk& walk,
                             const RecordLabeler& labeler) {
  PackageReview review;
  LintContext lint(walk, review, labeler);
  lint.check_damage();
  if (!review.findings.empty()) return review;
  check_records(lint);
  review.preview = check_launch(lint);
  return review;
}

}  // namespace vcpack
