#include "VLMGUI.h"

#include "stand_in/ui.h"

void VLMGUIUtils::About(const CString& caption, HWND* owner) {
  stand_in::ui::Current().ShowAbout(caption.str(), owner ? *owner : nullptr);
}
