// Every single damaged byte and every truncation of a small package, each
// extracted on the fake platform. Whatever the damage, the extraction ends in
// one of the outcomes that a reader of untrusted files may have (complete
// only where the damage lies outside what it reads), writes only
// files whose chunks verified, stays inside the work folder, closes what it
// opened, and allocates no more than the file's size.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "archive/chunk_writer.h"
#include "platform/fake/fake_platform.h"
#include "tests/support/invalid_archive_message.h"
#include "tests/support/metered_extraction.h"
#include "tests/support/sample_package.h"

namespace vcboot {
namespace {

using Message = FakePlatform::Message;
using Files = std::map<std::string, std::string>;

// Room for message texts and paths, which a tiny damaged file may need more
// than its own size for.
constexpr std::size_t kAllocationAllowance = 1024;

// A package of about 2 KB: the stub, two files, a value and the tail.
struct SweepPackage {
  std::string bytes;
  std::size_t first_read = 0;  // the stub's key chunk: before it only
  std::vector<std::size_t> stub_lengths;  // these length fields are read
  std::size_t tail_end = 0;               // trailing bytes follow
  Files files;
  VariableTable::Entries bindings;
};

SweepPackage make_sweep_package() {
  SweepPackage package;
  StringSink sink;
  ChunkWriter writer(sink);
  writer.add_chunk(
      test_support::filler_bytes(300, 1));  // the bootstrap's image
  package.stub_lengths.push_back(static_cast<std::size_t>(writer.size() - 20));
  writer.add_chunk("setup.exe");
  package.stub_lengths.push_back(static_cast<std::size_t>(writer.size() - 20));
  package.first_read = static_cast<std::size_t>(writer.size());
  writer.add_chunk("stub");
  writer.add_chunk("stub");
  package.files = {{"Setup.exe", test_support::filler_bytes(900, 2)},
                   {"readme.txt", test_support::filler_bytes(500, 3)}};
  writer.add_file("installer", "Setup.exe", package.files["Setup.exe"]);
  writer.add_file("", "readme.txt", package.files["readme.txt"]);
  writer.add_value("executable", "%installer%");
  package.bindings = {{"installer", "Setup.exe"},
                      {"executable", "%installer%"}};
  writer.add_tail();
  package.tail_end = static_cast<std::size_t>(writer.size());
  writer.add_trailing(std::string(8, '\0'));
  package.bytes = sink.bytes();
  return package;
}

using Extraction = test_support::MeteredExtraction;

template <typename Map>
bool is_part_of(const Map& part, const Map& whole) {
  for (const auto& [key, value] : part) {
    const auto found = whole.find(key);
    if (found == whole.end() || found->second != value) return false;
  }
  return true;
}

enum class Outcome { kComplete, kDamaged, kNoTail };

// The outcome that `result` shows, or nothing when it shows none of those
// allowed: a complete extraction of everything, silently; a damaged archive,
// told once by the extraction, after which the files and bindings read so
// far remain; or no tail, with nothing done.
std::optional<Outcome> outcome_of(const Extraction& result,
                                  const SweepPackage& package) {
  const Message invalid{test_support::kInvalidArchiveCaption,
                        test_support::kInvalidArchiveText};
  const bool nothing_done = result.files.empty() && result.bindings.empty();
  switch (result.end) {
    case ExtractionEnd::kComplete:
      if (result.messages.empty() && result.files == package.files &&
          result.bindings == package.bindings) {
        return Outcome::kComplete;
      }
      return std::nullopt;
    case ExtractionEnd::kDamaged:
      if (result.messages == std::vector<Message>{invalid}) {
        return Outcome::kDamaged;
      }
      return std::nullopt;
    case ExtractionEnd::kNoTail: {
      const std::string no_tail_text =
          std::string("File: ") + test_support::kMeteredArchive + "\rError: ";
      if (result.messages.size() == 1 &&
          result.messages[0].caption == "Failed to initialize archive!" &&
          result.messages[0].text.rfind(no_tail_text, 0) == 0 && nothing_done) {
        return Outcome::kNoTail;
      }
      return std::nullopt;
    }
    case ExtractionEnd::kNotOpened:
    case ExtractionEnd::kFileNotWritten:
    case ExtractionEnd::kStopped:
      break;
  }
  return std::nullopt;
}

// Damage outside the walk (the stub's image and file name with their
// digests, which are never read, and the bytes behind the tail) changes
// nothing; damage that the walk meets, the stub's key and type chunks and
// the length fields that tell where its record begins included, never leaves
// it complete.
bool walk_meets(std::size_t at, const SweepPackage& package) {
  for (const std::size_t length_at : package.stub_lengths) {
    if (at >= length_at && at < length_at + 4) return true;
  }
  return at >= package.first_read && at < package.tail_end;
}

// What is wrong with the extraction of one variant; empty when nothing is.
std::string problems_with(const std::string& bytes, bool met,
                          const SweepPackage& package, std::size_t block_size) {
  const Extraction result = test_support::extract_metered(bytes, block_size);
  std::string problems;
  const auto outcome = outcome_of(result, package);
  if (!outcome) problems += " an outcome that is not allowed;";
  if (outcome && !met && *outcome != Outcome::kComplete) {
    problems += " damage outside the walk changed the outcome;";
  }
  if (outcome && met && *outcome == Outcome::kComplete) {
    problems += " damage inside the walk went unnoticed;";
  }
  if (!is_part_of(result.files, package.files)) {
    problems += " a file from an unverified chunk;";
  }
  if (!is_part_of(result.bindings, package.bindings)) {
    problems += " a binding from an unverified chunk;";
  }
  if (!result.only_in_work_folder) problems += " wrote outside;";
  if (result.open_handles != 0) problems += " handles left open;";
  if (result.largest_allocation > bytes.size() + kAllocationAllowance) {
    problems +=
        " allocated " + std::to_string(result.largest_allocation) + " bytes;";
  }
  return problems;
}

class CorruptionSweep : public ::testing::Test {
 protected:
  // Each variant is read with the bootstrap's blocks, which hold each file
  // of the package whole, and with blocks of 63 bytes, in which each file is
  // written block by block, hashed on the fake's worker, before its check.
  void check(const std::string& variant, const std::string& bytes, bool met) {
    for (const std::size_t block_size :
         {ChunkStream::kPayloadBlockSize, std::size_t{63}}) {
      const std::string problems =
          problems_with(bytes, met, package_, block_size);
      if (!problems.empty() && failures_.size() < 20) {
        failures_.push_back(variant + ", blocks of " +
                            std::to_string(block_size) + ":" + problems);
      }
    }
  }
  void TearDown() override {
    EXPECT_TRUE(failures_.empty()) << ::testing::PrintToString(failures_);
  }

  const SweepPackage package_ = make_sweep_package();
  std::vector<std::string> failures_;
};

TEST_F(CorruptionSweep, PackageIsAboutTwoKilobytesAndExtractsWhole) {
  EXPECT_GT(package_.bytes.size(), 1800u);
  EXPECT_LT(package_.bytes.size(), 2300u);
  EXPECT_EQ(outcome_of(test_support::extract_metered(package_.bytes), package_),
            Outcome::kComplete);
}

TEST_F(CorruptionSweep, EveryByteDamagedInThreeWays) {
  for (std::size_t at = 0; at < package_.bytes.size(); ++at) {
    const char original = package_.bytes[at];
    const std::set<char> damages = {static_cast<char>(~original), '\x00',
                                    '\xFF'};
    for (const char damaged : damages) {
      if (damaged == original) continue;
      std::string bytes = package_.bytes;
      bytes[at] = damaged;
      check("byte " + std::to_string(at) + " set to " +
                std::to_string(static_cast<unsigned char>(damaged)),
            bytes, walk_meets(at, package_));
    }
  }
}

TEST_F(CorruptionSweep, EveryTruncation) {
  for (std::size_t size = 0; size <= package_.bytes.size(); ++size) {
    // Cutting only trailing bytes changes nothing; any deeper cut loses the
    // tail chunk, so nothing is extracted at all.
    check("cut to " + std::to_string(size), package_.bytes.substr(0, size),
          size < package_.tail_end);
  }
}

}  // namespace
}  // namespace vcboot
