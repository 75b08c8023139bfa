// Finds the references that an expansion would leave in place.
//
// It runs the bootstrap's own expansion over a text and collects every name
// that stays in place: those the table does not hold, and those that lead
// back into a value already being expanded. `verify` uses it to lint what the
// bootstrap would start.
#pragma once

#include <string>
#include <vector>

#include "variables/variable_table.h"

namespace vcpack {

struct ReferenceFindings {
  // Names looked up and not found, in the order met; each listed once.
  std::vector<std::string> unresolved;
  // Names whose value refers back to itself, directly or through others.
  std::vector<std::string> cyclic;
};

ReferenceFindings scan_references(const std::string& text,
                                  const vcboot::VariableTable& table);

}  // namespace vcpack
