// What an extraction reads and fills in: the folder it writes into and the
// variable table it adds to. How it ended is its result (archive_extractor.h).
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
};

}  // namespace vcboot
