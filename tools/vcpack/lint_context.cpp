#include "tools/vcpack/lint_context.h"

#include "tools/vcpack/display_text.h"
#include "tools/vcpack/package_report.h"
#include "tools/vcpack/target_names.h"

namespace vcpack {

LintContext::LintContext(const PackageWalk& walk_, PackageReview& review_,
                         const RecordLabeler& labeler)
    : walk(walk_),
      review(review_),
      outcome(review_.outcome = resolve_outcome(walk_)),
      intended(resolve_outcome(walk_, true)),
      labeler_(labeler) {}

std::string LintContext::label(std::size_t index) const {
  return labeler_ ? labeler_(index) : "record " + record_label(walk, index);
}

void LintContext::add(const char* id, const std::string& text,
                      std::optional<std::size_t> record,
                      std::optional<std::uint64_t> offset) {
  const FindingKind* kind = find_kind(id);
  review.findings.push_back(
      {id, kind ? kind->severity : Severity::kError, record, offset, text});
}

void LintContext::add_for_record(const char* id, std::size_t index,
                                 const std::string& text) {
  add(id, text, index, walk.records[index].offset);
}

void LintContext::check_damage() {
  if (walk.end == WalkEnd::kNoTail) {
    add("no-tail-marker", "no tail marker: " + walk.path + " holds no package");
    return;
  }
  if (walk.end == WalkEnd::kInsideStub) {
    add("ends-inside-stub",
        "no tail chunk: " + walk.path +
            " ends inside its stub (cut short, or with no archive at all), or "
            "its tail chunk is damaged");
    return;
  }
  for (std::size_t i = 0; i < walk.records.size(); ++i) {
    for (const ChunkRead& chunk : walk.records[i].chunks) {
      if (chunk.verified) continue;
      add("digest-mismatch",
          label(i) + ": the chunk at offset " + std::to_string(chunk.offset) +
              " (" + std::to_string(chunk.payload_size) +
              "-byte payload) fails its digest check",
          i, chunk.offset);
    }
  }
  if (walk.end == WalkEnd::kStubNotAtStart) {
    add("stub-not-at-start",
        "the walk ends at a stub record at offset " +
            std::to_string(walk.end_offset) +
            " that does not begin the file: a download cut short behind a "
            "package carried as a file, whose installer the bootstrap does "
            "not start",
        std::nullopt, walk.end_offset);
    return;
  }
  if (walk.end != WalkEnd::kReadFailure) return;
  if (walk.end_offset == 0) {
    add("no-stub-record",
        "no stub record: the walk runs to the start of the file", std::nullopt,
        0);
  } else {
    add("bad-length",
        "the chunk ending at offset " + std::to_string(walk.end_offset) +
            " cannot be read: its length field reaches before the start of "
            "the file",
        std::nullopt, walk.end_offset);
  }
}

void LintContext::track_file(std::size_t index) {
  const std::string& name = walk.records[index].file_name;
  const auto [writer, added] =
      writers_.emplace(file_key(name, outcome.target), index);
  if (!added) {
    const std::size_t other = writer->second;
    const std::string& other_name = walk.records[other].file_name;
    if (other_name == name) {
      add_for_record("same-file", index,
                     label(index) + " stores " + quoted(name) + ", as " +
                         label(other) +
                         " does; the bootstrap writes both, and this one's "
                         "content remains");
    } else {
      const WrittenFile* file = file_written_by(intended, index);
      add_for_record(
          "same-file", index,
          label(index) + " stores " + quoted(name) + ", which on Windows is " +
              quoted(other_name) + " of " + label(other) +
              " (case and trailing dots and blanks do not count); the "
              "bootstrap writes both into " +
              quoted(file ? file->name : other_name) +
              ", and this one's content remains");
    }
    writer->second = index;
  }
  if (windows()) check_short_name(index);
}

void LintContext::check_short_name(std::size_t index) {
  const std::string& name = walk.records[index].file_name;
  if (const auto family = short_name_family(name)) {
    const auto found = long_names_.find(*family);
    if (found != long_names_.end()) {
      const std::size_t first = found->second.first;
      const std::size_t others = found->second.count - 1;
      add_for_record(
          "short-name-alias", index,
          label(index) +
              ": on a Windows volume that makes 8.3 short names, this may "
              "be the short name of " +
              quoted(walk.records[first].file_name) + " of " + label(first) +
              (others == 0
                   ? ""
                   : " or of " + std::to_string(others) + " more long names") +
              ", written before it; it would then overwrite that file");
    }
  }
  if (const auto family = generated_short_name_family(name)) {
    LongNames& names = long_names_[*family];
    if (names.count++ == 0) names.first = index;
  }
}

}  // namespace vcpack
