// MFC subset: the common file dialog.
#pragma once

#include <afxwin.h>

// Flags of the file dialog.
#ifndef OFN_READONLY
#define OFN_READONLY 0x00000001
#define OFN_OVERWRITEPROMPT 0x00000002
#define OFN_HIDEREADONLY 0x00000004
#define OFN_NOCHANGEDIR 0x00000008
#define OFN_NOVALIDATE 0x00000100
#define OFN_ALLOWMULTISELECT 0x00000200
#define OFN_PATHMUSTEXIST 0x00000800
#define OFN_FILEMUSTEXIST 0x00001000
#define OFN_CREATEPROMPT 0x00002000
#define OFN_EXPLORER 0x00080000
#define OFN_NODEREFERENCELINKS 0x00100000
#define OFN_ENABLESIZING 0x00800000
#endif

class CCommonDialog : public CDialog {
 public:
  explicit CCommonDialog(CWnd* pParentWnd) : CDialog(static_cast<UINT>(0), pParentWnd) {}
};

class CFileDialog : public CCommonDialog {
 public:
  // `lpszFilter` is "description|pattern|...|" ending in "||".
  explicit CFileDialog(BOOL bOpenFileDialog, LPCWSTR lpszDefExt = nullptr, LPCWSTR lpszFileName = nullptr,
                       DWORD dwFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCWSTR lpszFilter = nullptr,
                       CWnd* pParentWnd = nullptr, DWORD dwSize = 0, BOOL bVistaStyle = TRUE);
  ~CFileDialog() override;

  // IDOK when a file was chosen, IDCANCEL otherwise.
  INT_PTR DoModal() override;

  // The chosen file's full path; its name; its extension without the dot.
  CString GetPathName() const;
  CString GetFileName() const;
  CString GetFileExt() const;

 private:
  BOOL m_bOpenFileDialog;
  std::wstring m_defExt;
  std::wstring m_fileName;
  std::wstring m_filter;
  DWORD m_dwFlags;
  BOOL m_bVistaStyle;
  std::wstring m_path;
};
