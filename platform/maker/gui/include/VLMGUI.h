// The maker's interface library: the progress window.
#pragma once

#include <afxwin.h>

// A progress window for one long operation. It shows nothing until
// StartProgress and hides at EndProgress; the window goes with the object.
class VLMProgress {
 public:
  VLMProgress(CString title, CString status, double minimum, double maximum, CWnd* parent);
  ~VLMProgress();
  VLMProgress(const VLMProgress&) = delete;
  VLMProgress& operator=(const VLMProgress&) = delete;

  void SetMax(double maximum);
  void StartProgress();
  void StepIt(double step);
  void SetStatus(CString status);
  void EndProgress();

 private:
  int m_id;
};

// The maker's dialogs.
class VLMGUIUtils {
 public:
  // The modal About box, titled with `caption`, owned by the window `owner`
  // points to; a null pointer (or a null handle) shows it with no owner.
  static void About(const CString& caption, HWND* owner);
};

// Integers and flags kept under one registry key. SetKey with 1 selects the
// key below HKEY_CURRENT_USER, with 0 below HKEY_LOCAL_MACHINE; any other
// number selects nothing and fails. The key is made at the first write, so
// reading alone leaves the registry as it was. Values are REG_DWORD; a value
// that is missing or of another type reads as the default.
class VLMRegistry {
 public:
  VLMRegistry();
  ~VLMRegistry();
  VLMRegistry(const VLMRegistry&) = delete;
  VLMRegistry& operator=(const VLMRegistry&) = delete;

  BOOL SetKey(CString key, int hive);
  int ReadInt(CString name, int default_value);
  // 0 or 1 (a stored non-zero reads as 1, and so does a non-zero default).
  int ReadBool(CString name, int default_value);
  BOOL WriteInt(CString name, int value);
  BOOL WriteBool(CString name, int value);

 private:
  bool Open(bool create);
  void Close();

  HKEY m_root;
  CString m_path;
  HKEY m_key;
  bool m_writable;
};
