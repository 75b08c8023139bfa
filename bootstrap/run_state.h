// The process-wide state of one installation run.
#pragma once

#include <string>

#include "variables/variable_table.h"

namespace vcboot {

// The program holds exactly one of these for its whole life (see the entry
// files); components take it by reference, so tests can make fresh ones.
struct RunState {
  // Temporary directory + "VC<n>" + separator. Written by the run sequence
  // only; every extracted file's path and the installer's path begin with it.
  std::string work_folder;
  // Only grows during a run.
  VariableTable variables;
  // Set when the archive's tail chunk is read, cleared by a digest mismatch;
  // the run sequence reads it once, after the extraction.
  bool archive_complete = false;
};

}  // namespace vcboot
