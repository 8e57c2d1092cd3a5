// MFC subset: window objects.
#pragma once

#include <afx.h>

class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd() = default;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  // The window object of a handle: one per handle, owned by the framework;
  // null for a null handle.
  static CWnd* PASCAL FromHandle(HWND hwnd);
  // Drops the objects FromHandle made (the framework does it when idle).
  static void PASCAL DeleteTempMap();

  HWND GetSafeHwnd() const { return m_hWnd; }
  operator HWND() const { return GetSafeHwnd(); }

  HWND m_hWnd = nullptr;
};
