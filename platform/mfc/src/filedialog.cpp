// The file dialog, answered by the UI driver.
#include <afxdlgs.h>

#include "stand_in/ui.h"

#include <cstdio>
#include <new>

namespace {

// "A|*.a|B|*.b||": pairs of description and pattern; an empty part ends the
// list (the "||"), as the double zero of the converted filter does.
std::vector<std::pair<std::wstring, std::wstring>> ParseFilter(const std::wstring& filter) {
  std::vector<std::wstring> parts;
  size_t start = 0;
  while (start <= filter.size()) {
    size_t bar = filter.find(L'|', start);
    if (bar == std::wstring::npos) {
      if (start < filter.size()) parts.push_back(filter.substr(start));
      break;
    }
    parts.push_back(filter.substr(start, bar - start));
    start = bar + 1;
  }
  std::vector<std::pair<std::wstring, std::wstring>> out;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].empty() || parts[i + 1].empty()) break;
    out.emplace_back(parts[i], parts[i + 1]);
  }
  return out;
}

size_t NameStart(const std::wstring& path) {
  size_t sep = path.find_last_of(L"\\/");
  return sep == std::wstring::npos ? 0 : sep + 1;
}

HWND OwnerOf(CWnd* parent) {
  HWND owner = parent ? parent->GetSafeHwnd() : nullptr;
  if (!owner) {
    CWnd* main = AfxGetMainWnd();
    owner = main ? main->GetSafeHwnd() : nullptr;
  }
  if (!owner) owner = GetActiveWindow();
  return owner;
}

}  // namespace

CFileDialog::CFileDialog(BOOL bOpenFileDialog, LPCWSTR lpszDefExt, LPCWSTR lpszFileName, DWORD dwFlags,
                         LPCWSTR lpszFilter, CWnd* pParentWnd, DWORD, BOOL bVistaStyle)
    : CCommonDialog(pParentWnd),
      m_bOpenFileDialog(bOpenFileDialog),
      m_defExt(lpszDefExt ? lpszDefExt : L""),
      m_fileName(lpszFileName ? lpszFileName : L""),
      m_filter(lpszFilter ? lpszFilter : L""),
      m_dwFlags(dwFlags),
      m_bVistaStyle(bVistaStyle) {}

CFileDialog::~CFileDialog() = default;

INT_PTR CFileDialog::DoModal() {
  try {
    stand_in::ui::FileDialogRequest request;
    request.open = m_bOpenFileDialog != FALSE;
    request.title = request.open ? L"Open" : L"Save As";
    request.filters = ParseFilter(m_filter);
    request.defaultExtension = m_defExt;
    request.flags = m_dwFlags;
    request.initialName = m_fileName;
    request.owner = OwnerOf(m_pParentWnd);
    std::wstring path;
    if (!stand_in::ui::Current().RunFileDialog(request, &path) || path.empty()) return IDCANCEL;
    // A name typed without an extension gets the default one.
    if (!m_defExt.empty() && path.find(L'.', NameStart(path)) == std::wstring::npos) {
      std::wstring ext = m_defExt[0] == L'.' ? m_defExt.substr(1) : m_defExt;
      path += L"." + ext;
    }
    m_path = path;
    return IDOK;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "file dialog: out of memory\n");
  } catch (...) {
    std::fprintf(stderr, "file dialog: failed\n");
  }
  return IDCANCEL;
}

CString CFileDialog::GetPathName() const { return CString(m_path); }

CString CFileDialog::GetFileName() const { return CString(m_path.substr(NameStart(m_path))); }

CString CFileDialog::GetFileExt() const {
  std::wstring name = m_path.substr(NameStart(m_path));
  size_t dot = name.rfind(L'.');
  return dot == std::wstring::npos ? CString() : CString(name.substr(dot + 1));
}
