// The stand-in's window model: just enough windows for the active-window
// queries of <winuser.h>. Tests make windows and set what is active.
#pragma once

#include <windows.h>

namespace stand_in {
namespace window {

// A new top-level window. Handles are 64-bit values whose significant part
// fits in 32 bits, as on Windows, so they survive a trip through a LONG.
HWND Create();
// Makes `hwnd` (a window of Create, or null for none) the calling thread's
// active window.
void SetActive(HWND hwnd);
// Records `popup` (null for none) as the popup of `owner` that was active last.
void SetLastActivePopup(HWND owner, HWND popup);

}  // namespace window
}  // namespace stand_in
