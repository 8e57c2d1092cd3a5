#include <afxwin.h>

#include <map>
#include <memory>

namespace {
std::map<HWND, std::unique_ptr<CWnd>>& TempMap() {
  static std::map<HWND, std::unique_ptr<CWnd>> map;
  return map;
}
}  // namespace

CWnd* PASCAL CWnd::FromHandle(HWND hwnd) {
  if (!hwnd) return nullptr;
  auto& slot = TempMap()[hwnd];
  if (!slot) {
    slot.reset(new CWnd);
    slot->m_hWnd = hwnd;
  }
  return slot.get();
}

void PASCAL CWnd::DeleteTempMap() { TempMap().clear(); }
