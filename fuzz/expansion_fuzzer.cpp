// libFuzzer target: the input is split into a text and a variable table, and
// the text is expanded. Beyond what the sanitizers catch, the result must
// equal the reference expansion, and the table must be left as it was.
// Inputs whose expansion would grow past a bound are skipped: nested values
// can make a result grow exponentially, which costs memory, not safety.
//
// The seeds in fuzz/corpus/expansion are plain text: the text, then names and
// values in turns, separated by a backslash and a semicolon ("\\;"); a
// backslash of their own is written twice.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/reference_expansion.h"
#include "variables/expand_variables.h"

namespace vcboot::fuzzing {
namespace {

// The reference charges each text it expands its length and one more, and
// each lookup takes at least two bytes of a text, so within this limit the
// expansion stays well inside its own bounds and never gives up.
constexpr std::size_t kWorkLimit = kMaxExpansionWork / kLookupWork;

void require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "expansion_fuzzer: %s\n", what);
  std::abort();
}

// The text first, then names and values in turns until the input ends; a
// name bound twice keeps its first value, as in the extraction.
void fuzz_one(FuzzedDataProvider& input) {
  const std::string text = input.ConsumeRandomLengthString();
  VariableTable table;
  while (input.remaining_bytes() > 0) {
    const std::string name = input.ConsumeRandomLengthString();
    table.insert_if_absent(name, input.ConsumeRandomLengthString());
  }
  const auto expected = reference_expansion(text, table, kWorkLimit);
  if (!expected) return;
  const VariableTable::Entries before = table.entries();
  const std::string result = expand_variables(text, table);
  require(result == *expected, "result differs from the reference");
  require(table.entries() == before, "the table changed");
}

}  // namespace
}  // namespace vcboot::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  FuzzedDataProvider input(data, size);
  vcboot::fuzzing::fuzz_one(input);
  return 0;
}
