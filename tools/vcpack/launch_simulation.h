// The bootstrap's launch, simulated on a package's bindings: the variables
// it reads, fetched in its order with its own expansion, and the run's own
// facts shown as placeholders ("source" as <work folder>, "commandline" as
// <command line>). Each fetch of a variable the launch reads creates it empty
// when it is missing, as the bootstrap's does, so a later reference to it
// expands as in a real run; "exitcode" is read without creating it.
//
// Hostile packages stay cheap: an expansion ends at the bootstrap's own
// bounds (kMaxExpandedSize and kMaxExpansionWork, past which the bootstrap
// gives up with "Unhandled Exception"), and is then reported instead of
// finished.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tools/vcpack/package_outcome.h"
#include "variables/expand_variables.h"
#include "variables/variable_table.h"

namespace vcpack {

enum class ExpansionEnd {
  kDone,
  kTooLong,      // past kMaxExpandedSize, as the bootstrap's would be
  kTooMuchWork,  // past kMaxExpansionWork
};

// How many names left in the text a fetch names, of each kind. A hostile
// package can hold millions of distinct ones (a 16 MB value holds 3.36
// million), and naming them all took a gigabyte; the rest are counted.
inline constexpr std::size_t kMaxNamedReferences = 16;

// Names left in the text as they are: the first kMaxNamedReferences
// distinct ones, in the order met, and how many references left in place
// are not among them.
struct LeftReferences {
  std::vector<std::string> names;
  std::size_t more = 0;
};

struct FetchedValue {
  bool missing = false;  // no record binds it (it is created empty)
  std::string text;      // expanded; empty when the expansion was given up
  ExpansionEnd end = ExpansionEnd::kDone;
  LeftReferences unresolved;
  LeftReferences cyclic;
};

class LaunchSimulation {
 public:
  explicit LaunchSimulation(const PackageOutcome& outcome);
  // Fetches `name` as the bootstrap does and expands it; `create`: a
  // missing one is created empty.
  FetchedValue fetch(const std::string& name, bool create = true);

 private:
  vcboot::VariableTable table_;
};

// The references that the bootstrap's expansion of `text` leaves in place.
struct ReferenceFindings {
  // Names looked up and not found.
  LeftReferences unresolved;
  // Names whose value refers back to itself, directly or through others.
  LeftReferences cyclic;
};

// An expansion given up past kMaxExpansionWork tells what it met until then;
// one past kMaxExpandedSize throws, as the expansion does.
ReferenceFindings scan_references(const std::string& text,
                                  const vcboot::VariableTable& table);

}  // namespace vcpack
