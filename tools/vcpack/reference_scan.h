// Finds the references that an expansion would leave in place.
//
// It walks a text the way the bootstrap's expansion does (the last percent
// sign of a row opens a reference, the name runs to the next percent sign,
// the closing sign of an undefined name may open the next reference, and a
// defined value is followed into but never rescanned in place), and collects
// every name that the table does not hold. `verify` uses it to lint what the
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
