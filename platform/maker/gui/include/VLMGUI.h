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
