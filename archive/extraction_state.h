// What an extraction reads and fills in: the folder it writes into and the
// variable table it adds to. How it ended is its result (archive_extractor.h).
// The bootstrap's run state is one (bootstrap/run_state.h); tools and tests
// make their own.
#pragma once

#include <string>

#include "variables/variable_table.h"

namespace vcboot {

struct ExtractionState {
  // Ends with a separator; every extracted file's path, as messages show
  // it, begins with it.
  std::string work_folder;
  // Once the run has entered the work folder: what reaches a file in it
  // whatever its path leads to by then (Platform::current_directory_prefix).
  // Empty until then, and wherever the folder is not entered.
  std::string entered_folder;
  // Values and file keys are added only when absent.
  VariableTable variables;

  // What to put in front of a name to reach a file of the work folder.
  const std::string& files_folder() const {
    return entered_folder.empty() ? work_folder : entered_folder;
  }
};

}  // namespace vcboot
