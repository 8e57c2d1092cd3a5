// Failure codes as a person reads them: the number, its name and what it
// means, for the messages of the stand-in host and its command line.
#pragma once

#include <windows.h>

#include <string>

namespace stand_in {

// "0x8007007E ERROR_MOD_NOT_FOUND, the module cannot be found"; the number
// alone for a code without a known meaning.
std::string ErrorText(HRESULT hr);
// A Win32 error as GetLastError answers it: "error 126 ERROR_MOD_NOT_FOUND,
// the module cannot be found".
std::string Win32ErrorText(DWORD code);

}  // namespace stand_in
