// What an extraction reads and fills in: the folder it writes into, the
// variable table it adds to, and whether the archive was found complete.
// The bootstrap's run state is one (bootstrap/run_state.h); tools and tests
// make their own.
#pragma once

#include <string>

#include "variables/variable_table.h"

namespace vcboot {

struct ExtractionState {
  // Ends with a separator; every extracted file's path begins with it.
  std::string work_folder;
  // Values and file keys are added only when absent.
  VariableTable variables;
  // Set when the archive's tail chunk is read, cleared by a digest mismatch.
  bool archive_complete = false;
};

}  // namespace vcboot
