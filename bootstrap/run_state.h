// The process-wide state of one installation run.
#pragma once

#include "archive/extraction_state.h"
#include "bootstrap/exit_code.h"

namespace vcboot {

// The program holds exactly one of these for its whole life (see the entry
// files); components take it by reference, so tests can make fresh ones.
// The run sequence writes the work folder (temporary directory + "VC<n>" +
// separator) and, once it has entered it, the prefix that reaches it, before
// the extraction; the extraction fills in the variables, and the launch reads
// them; the table only grows.
struct RunState : ExtractionState {
  // Read from "exitcode" after the extraction, or by the exception handlers
  // when an exception came first; until then the default.
  ExitCodePolicy exit_code_policy = ExitCodePolicy::kDefault;
};

}  // namespace vcboot
