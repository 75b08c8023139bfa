// Protection against DLLs planted beside the program (a Downloads folder).
#pragma once

namespace vcboot {

// Restricts the DLL search of this process to the system folder, through
// SetDefaultDllDirectories when the system has it (Windows 8, or 7 with
// KB2533623); on older systems it does nothing. Call it before anything else.
void restrict_dll_search_to_system32();

}  // namespace vcboot
