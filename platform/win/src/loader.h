// Modules loaded to run (LoadLibraryExW with flags 0): the half of the module
// table that module.cpp hands over to, kept with the machine's loader.
#pragma once

#include <windows.h>

namespace stand_in {

// Loads and counts the module `path` names; null with the last error set.
HMODULE LoadRunnableModule(LPCWSTR path);
// Gives back one count of a module; false when `module` is no loaded module
// (ERROR_INVALID_HANDLE).
bool FreeRunnableModule(HMODULE module);

}  // namespace stand_in
