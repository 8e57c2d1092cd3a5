// Helpers the library's own sources share.
#pragma once

#include <atlbase.h>

#include <vector>

namespace ATL {
namespace internal {

// The full path of the module `instance` names, as long as it is.
HRESULT ModuleFile(HINSTANCE instance, std::vector<wchar_t>& path);

}  // namespace internal
}  // namespace ATL
