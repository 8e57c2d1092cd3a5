// The bodies of stand-in Windows, COM and OLE functions: what the C++
// library under them throws becomes the failure the real function answers,
// so that no exception leaves a function the system calls as a C API.
#pragma once

#include <windows.h>

#include <new>

namespace stand_in {

// A Windows function: answers `failed` with the last error
// ERROR_NOT_ENOUGH_MEMORY when memory runs out, or `error` when anything
// else is thrown.
template <class R, class F>
R Win32NoThrow(R failed, DWORD error, F&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  } catch (...) {
    SetLastError(error);
  }
  return failed;
}

// A COM or OLE function or method: E_OUTOFMEMORY when memory runs out,
// E_UNEXPECTED for anything else.
template <class F>
HRESULT ComNoThrow(F&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace stand_in
