// What the checks of lint.cpp and launch_lint.cpp share while they review
// one package: the walk, both outcomes, the labels, and the findings made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

#include "tools/vcpack/lint.h"

namespace vcpack {

class LintContext {
 public:
  LintContext(const PackageWalk& walk, PackageReview& review,
              const RecordLabeler& labeler);

  const PackageWalk& walk;
  PackageReview& review;
  const PackageOutcome& outcome;  // what the bootstrap does
  // What the package means to do: every name written, as if it could be.
  const PackageOutcome intended;

  bool windows() const { return outcome.target == TargetSystem::kWindows; }
  std::string label(std::size_t index) const;

  // Adds a finding of kind `id` (finding.h), about the package as a whole
  // or about one record (with the record's offset).
  void add(const char* id, const std::string& text,
           std::optional<std::size_t> record = std::nullopt,
           std::optional<std::uint64_t> offset = std::nullopt);
  void add_for_record(const char* id, std::size_t index,
                      const std::string& text);

  // Damage: what makes the bootstrap show "Invalid Archive!".
  void check_damage();
  // Notes the file that record `index` writes, after those before it in the
  // walk, and tells when it reaches a file one of them wrote.
  void track_file(std::size_t index);

 private:
  // Long names that get a generated 8.3 name, by the part it shares with
  // them: the first record that writes one, and how many do.
  struct LongNames {
    std::size_t first = 0;
    std::size_t count = 0;
  };

  void check_short_name(std::size_t index);

  RecordLabeler labeler_;
  std::unordered_map<std::string, std::size_t> writers_;  // by file key
  std::unordered_map<std::string, LongNames> long_names_;
};

// The launch, simulated: its findings, and what it would start; none when
// the package is damaged.
std::optional<LaunchPreview> check_launch(LintContext& lint);

}  // namespace vcpack
