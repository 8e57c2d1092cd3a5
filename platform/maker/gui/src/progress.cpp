#include "VLMGUI.h"

#include "stand_in/ui.h"

namespace {
int g_nextProgressId = 0;
}

VLMProgress::VLMProgress(CString title, CString status, double minimum, double maximum, CWnd* parent)
    : m_id(++g_nextProgressId) {
  stand_in::ui::Current().ProgressOpen(m_id, title.str(), status.str(), minimum, maximum, parent ? parent->GetSafeHwnd() : nullptr);
}

// The window goes with the object whatever happens: closing it cannot fail,
// even when the driver has no memory left to show that it did.
VLMProgress::~VLMProgress() {
  try {
    stand_in::ui::Current().ProgressClose(m_id);
  } catch (...) {
  }
}

void VLMProgress::SetMax(double maximum) { stand_in::ui::Current().ProgressSetMax(m_id, maximum); }
void VLMProgress::StartProgress() { stand_in::ui::Current().ProgressStart(m_id); }
void VLMProgress::StepIt(double step) { stand_in::ui::Current().ProgressStep(m_id, step); }
void VLMProgress::SetStatus(CString status) { stand_in::ui::Current().ProgressSetStatus(m_id, status.str()); }
void VLMProgress::EndProgress() { stand_in::ui::Current().ProgressEnd(m_id); }
