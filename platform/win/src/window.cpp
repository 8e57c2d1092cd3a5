// Message boxes and the active window.
#include <windows.h>

#include "stand_in/no_throw.h"
#include "stand_in/ui.h"
#include "stand_in/window.h"

#include <map>

namespace {

// Every window made, with the popup that was active last (null for none).
std::map<HWND, HWND>& Windows() {
  static std::map<HWND, HWND> windows;
  return windows;
}

thread_local HWND t_active = nullptr;

}  // namespace

namespace stand_in {
namespace window {

HWND Create() {
  static ULONG_PTR next = 0x00010010;
  HWND hwnd = reinterpret_cast<HWND>(next);
  next += 0x10;
  Windows()[hwnd] = nullptr;
  return hwnd;
}

void SetActive(HWND hwnd) { t_active = hwnd; }

void SetLastActivePopup(HWND owner, HWND popup) {
  auto it = Windows().find(owner);
  if (it != Windows().end()) it->second = popup;
}

}  // namespace window
}  // namespace stand_in

int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR title, UINT type) {
  // 0: the box could not be shown.
  return stand_in::Win32NoThrow(0, ERROR_INVALID_WINDOW_HANDLE, [&] {
    return stand_in::ui::Current().ShowMessageBox(owner, text ? text : L"", title ? title : L"Error", type);
  });
}

HWND WINAPI GetActiveWindow() { return t_active; }

HWND WINAPI GetLastActivePopup(HWND hwnd) {
  auto it = Windows().find(hwnd);
  if (it == Windows().end()) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  return it->second ? it->second : hwnd;
}
