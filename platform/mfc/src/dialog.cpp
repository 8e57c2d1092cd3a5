// Modal dialogs made from the binary template in the module's resources, and
// dialog data exchange.
#include <afxwin.h>

#include "stand_in/dialog_template.h"
#include "stand_in/module.h"
#include "stand_in/text.h"
#include "stand_in/ui.h"
#include "stand_in/window.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <new>

using stand_in::ui::Control;
using stand_in::ui::ControlKind;

namespace {

std::string Narrow(const std::wstring& text) { return stand_in::ToUtf8(text); }

bool SameName(const std::wstring& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (stand_in::ToLower(a[i]) != static_cast<wchar_t>(b[i])) return false;
  return true;
}

// The window class a template names, by atom or by name, as the window
// system registers them; "" for one it does not have.
std::wstring ClassOf(const stand_in::mfc::NameOrOrdinal& c) {
  static const struct {
    WORD atom;
    const char* lower;
    const wchar_t* name;
  } classes[] = {{0x0080, "button", L"Button"},   {0x0081, "edit", L"Edit"},
                 {0x0082, "static", L"Static"},   {0x0083, "listbox", L"ListBox"},
                 {0x0084, "scrollbar", L"ScrollBar"}, {0x0085, "combobox", L"ComboBox"}};
  for (const auto& k : classes)
    if (c.isOrdinal ? c.ordinal == k.atom : SameName(c.name, k.lower)) return k.name;
  return L"";
}

ControlKind KindOf(const std::wstring& cls, DWORD style) {
  if (cls == L"Button") {
    switch (style & BS_TYPEMASK) {
      case BS_PUSHBUTTON: return ControlKind::PushButton;
      case BS_DEFPUSHBUTTON: return ControlKind::DefPushButton;
      case BS_CHECKBOX:
      case BS_AUTOCHECKBOX:
      case BS_3STATE:
      case BS_AUTO3STATE: return ControlKind::CheckBox;
      case BS_RADIOBUTTON:
      case BS_AUTORADIOBUTTON: return ControlKind::RadioButton;
      case BS_GROUPBOX: return ControlKind::GroupBox;
      default: return ControlKind::Other;
    }
  }
  if (cls == L"ComboBox") return (style & 3) == CBS_DROPDOWNLIST ? ControlKind::DropDownList : ControlKind::ComboBox;
  if (cls == L"Edit") return ControlKind::Edit;
  if (cls == L"Static") {
    switch (style & SS_TYPEMASK) {
      case SS_LEFT:
      case SS_CENTER:
      case SS_RIGHT: return ControlKind::StaticText;
      case SS_ETCHEDHORZ:
      case SS_ETCHEDVERT:
      case SS_ETCHEDFRAME: return ControlKind::EtchedLine;
      default: return ControlKind::Other;
    }
  }
  return ControlKind::Other;
}

// The window a dialog without a parent is owned by: the application's main
// window, else the active one; and of that the popup that was active last.
HWND OwnerFor(CWnd* parent) {
  HWND owner = parent ? parent->GetSafeHwnd() : nullptr;
  if (!owner) {
    CWnd* main = AfxGetMainWnd();
    owner = main ? main->GetSafeHwnd() : nullptr;
  }
  if (!owner) owner = GetActiveWindow();
  if (owner) {
    HWND popup = GetLastActivePopup(owner);
    if (popup) owner = popup;
  }
  return owner;
}

int SortedPosition(const std::vector<std::wstring>& entries, const std::wstring& text) {
  auto lower = [](std::wstring s) {
    for (wchar_t& c : s) c = stand_in::ToLower(c);
    return s;
  };
  std::wstring key = lower(text);
  size_t i = 0;
  while (i < entries.size() && lower(entries[i]) <= key) ++i;
  return static_cast<int>(i);
}

}  // namespace

// The dialog's window while it runs: commands from the driver go to the
// dialog object's handlers.
class CDialog::Window : public stand_in::ui::Dialog {
 public:
  explicit Window(CDialog* dialog) : dialog_(dialog) {}

 protected:
  void OnCommand(int id) override {
    try {
      if (id == IDOK)
        dialog_->OnOK();
      else if (id == IDCANCEL)
        dialog_->OnCancel();
      // Other commands would go through the message map, which has none.
    } catch (const std::bad_alloc&) {
      std::fprintf(stderr, "dialog \"%s\": out of memory; the dialog ends with -1\n", Narrow(title).c_str());
      End(-1);
    } catch (...) {
      std::fprintf(stderr, "dialog \"%s\": a command handler failed; the dialog ends with -1\n", Narrow(title).c_str());
      End(-1);
    }
  }

 private:
  CDialog* dialog_;
};

// --- CWnd data exchange -------------------------------------------------------

BOOL CWnd::UpdateData(BOOL bSaveAndValidate) {
  CDataExchange dx(this, bSaveAndValidate);
  try {
    DoDataExchange(&dx);
  } catch (const CUserException&) {
    return FALSE;
  }
  return TRUE;
}

void CWnd::DoDataExchange(CDataExchange*) {}

void CDataExchange::Fail() { throw CUserException(); }

stand_in::ui::Dialog* CDataExchange::Controls(int nIDC, int* index, const char* exchange) {
  stand_in::ui::Dialog* controls = m_pDlgWnd ? m_pDlgWnd->m_pControls : nullptr;
  if (!controls) {
    std::fprintf(stderr, "%s: control %d: the dialog has no window\n", exchange, nIDC);
    Fail();
  }
  *index = controls->IndexOf(nIDC);
  if (*index < 0) {
    std::fprintf(stderr, "%s: the dialog \"%s\" has no control %d\n", exchange, Narrow(controls->title).c_str(), nIDC);
    Fail();
  }
  m_idLastControl = static_cast<UINT>(nIDC);
  return controls;
}

void AFXAPI DDX_Radio(CDataExchange* pDX, int nIDC, int& value) {
  int first = 0;
  stand_in::ui::Dialog* d = pDX->Controls(nIDC, &first, "DDX_Radio");
  if (d->controls[static_cast<size_t>(first)].kind != ControlKind::RadioButton) {
    std::fprintf(stderr, "DDX_Radio: control %d of \"%s\" is a %s, not the first radio button of a group\n", nIDC,
                 Narrow(d->title).c_str(), stand_in::ui::KindName(d->controls[static_cast<size_t>(first)].kind));
    pDX->Fail();
  }
  if (pDX->m_bSaveAndValidate) value = -1;
  int button = 0;
  for (size_t i = static_cast<size_t>(first); i < d->controls.size(); ++i) {
    Control& c = d->controls[i];
    if (i > static_cast<size_t>(first) && c.Group()) break;
    if (c.kind != ControlKind::RadioButton) continue;
    if (pDX->m_bSaveAndValidate) {
      if (c.check != 0) value = button;
    } else {
      c.check = button == value ? 1 : 0;
    }
    ++button;
  }
}

void AFXAPI DDX_Check(CDataExchange* pDX, int nIDC, int& value) {
  int index = 0;
  stand_in::ui::Dialog* d = pDX->Controls(nIDC, &index, "DDX_Check");
  Control& c = d->controls[static_cast<size_t>(index)];
  if (c.kind != ControlKind::CheckBox && c.kind != ControlKind::RadioButton) {
    std::fprintf(stderr, "DDX_Check: control %d of \"%s\" is a %s, not a check box\n", nIDC, Narrow(d->title).c_str(),
                 stand_in::ui::KindName(c.kind));
    pDX->Fail();
  }
  if (pDX->m_bSaveAndValidate) {
    value = c.check;
    return;
  }
  if (value < 0 || value > 2) {
    std::fprintf(stderr, "DDX_Check: value %d for control %d is out of range; the box is cleared\n", value, nIDC);
    value = 0;
  }
  DWORD type = c.style & BS_TYPEMASK;
  bool threeState = type == BS_3STATE || type == BS_AUTO3STATE;
  c.check = value == 2 && !threeState ? 1 : value;
}

void AFXAPI DDX_CBIndex(CDataExchange* pDX, int nIDC, int& index) {
  int at = 0;
  stand_in::ui::Dialog* d = pDX->Controls(nIDC, &at, "DDX_CBIndex");
  Control& c = d->controls[static_cast<size_t>(at)];
  if (c.kind != ControlKind::DropDownList && c.kind != ControlKind::ComboBox) {
    std::fprintf(stderr, "DDX_CBIndex: control %d of \"%s\" is a %s, not a combo box\n", nIDC, Narrow(d->title).c_str(),
                 stand_in::ui::KindName(c.kind));
    pDX->Fail();
  }
  if (pDX->m_bSaveAndValidate)
    index = c.selection;
  else
    c.selection = index >= 0 && static_cast<size_t>(index) < c.entries.size() ? index : -1;
}

// --- CDialog ------------------------------------------------------------------

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDHelp(nIDTemplate), m_lpszTemplateName(MAKEINTRESOURCEW(nIDTemplate)), m_pParentWnd(pParentWnd) {}

CDialog::CDialog(LPCWSTR lpszTemplateName, CWnd* pParentWnd) : m_pParentWnd(pParentWnd) {
  if (lpszTemplateName && !IS_INTRESOURCE(lpszTemplateName)) {
    m_templateName = lpszTemplateName;
    m_lpszTemplateName = m_templateName.c_str();
  } else {
    m_lpszTemplateName = lpszTemplateName;
    m_nIDHelp = LOWORD(lpszTemplateName);
  }
}

CDialog::~CDialog() = default;

const AFX_MSGMAP* PASCAL CDialog::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, 0, nullptr}};
  static const AFX_MSGMAP map = {&CWnd::GetThisMessageMap, &entries[0]};
  return &map;
}
const AFX_MSGMAP* CDialog::GetMessageMap() const { return GetThisMessageMap(); }

std::wstring CDialog::TemplateText() const {
  if (!m_lpszTemplateName) return L"(none)";
  if (IS_INTRESOURCE(m_lpszTemplateName)) return std::to_wstring(LOWORD(m_lpszTemplateName));
  return L"\"" + std::wstring(m_lpszTemplateName) + L"\"";
}

void CDialog::EndDialog(int nResult) {
  if (m_pControls) m_pControls->End(nResult);
}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;  // the dialog stays open
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::OnInitDialog() {
  if (!ExecuteDlgInit()) {
    EndDialog(-1);
    return FALSE;
  }
  if (!UpdateData(FALSE)) {
    std::fprintf(stderr, "dialog %s: setting the controls failed; the dialog ends with -1\n",
                 Narrow(TemplateText()).c_str());
    EndDialog(-1);
    return FALSE;
  }
  return TRUE;
}

BOOL CDialog::ExecuteDlgInit() {
  if (!m_pDlgInit || !m_pControls) return TRUE;
  std::vector<stand_in::mfc::DlgInitEntry> entries;
  std::string error;
  const std::string where = "dialog " + Narrow(TemplateText());
  if (!stand_in::mfc::ParseDlgInit(m_pDlgInit, m_nDlgInitSize, &entries, &error)) {
    std::fprintf(stderr, "%s: %s\n", where.c_str(), error.c_str());
    return FALSE;
  }
  for (const auto& e : entries) {
    int index = m_pControls->IndexOf(static_cast<int>(e.controlId));
    if (index < 0) {
      std::fprintf(stderr, "%s: the initialisation data names control %u, which the dialog does not have\n",
                   where.c_str(), e.controlId);
      return FALSE;
    }
    Control& c = m_pControls->controls[static_cast<size_t>(index)];
    bool comboMessage = e.message == stand_in::mfc::kDlgInitCbAddString16 || e.message == stand_in::mfc::kDlgInitCbAddString;
    if (!comboMessage) {
      std::fprintf(stderr, "%s: the initialisation data sends message 0x%04X to control %u, which is not supported\n",
                   where.c_str(), e.message, e.controlId);
      return FALSE;
    }
    if (c.kind != ControlKind::DropDownList && c.kind != ControlKind::ComboBox) {
      std::fprintf(stderr, "%s: the initialisation data adds a list entry to control %u, a %s\n", where.c_str(),
                   e.controlId, stand_in::ui::KindName(c.kind));
      return FALSE;
    }
    // Narrow texts in the ANSI code page.
    std::wstring text = CString(e.data.c_str()).str();
    int at = (c.style & CBS_SORT) ? SortedPosition(c.entries, text) : static_cast<int>(c.entries.size());
    c.entries.insert(c.entries.begin() + at, text);
  }
  return TRUE;
}

INT_PTR CDialog::DoModal() {
  struct Reset {
    CDialog* d;
    ~Reset() {
      d->m_pControls = nullptr;
      d->m_hWnd = nullptr;
      d->m_pDlgInit = nullptr;
      d->m_nDlgInitSize = 0;
    }
  } reset{this};
  try {
    const std::string where = "dialog " + Narrow(TemplateText());
    if (m_pControls) {
      std::fprintf(stderr, "%s: DoModal while the dialog is running\n", where.c_str());
      return -1;
    }
    HINSTANCE resources = AfxGetResourceHandle();
    HRSRC found = FindResourceW(resources, m_lpszTemplateName, RT_DIALOG);
    if (!found) {
      std::fprintf(stderr, "%s: no dialog template of that name in the resources of %s\n", where.c_str(),
                   stand_in::ModulePath(resources ? resources : stand_in::ExecutableModule()).c_str());
      return -1;
    }
    const void* bytes = LockResource(LoadResource(resources, found));
    const DWORD size = SizeofResource(resources, found);
    stand_in::mfc::DialogTemplate t;
    std::string error;
    if (!bytes) {
      std::fprintf(stderr, "%s: the dialog template could not be loaded\n", where.c_str());
      return -1;
    }
    if (!stand_in::mfc::ParseDialogTemplate(bytes, size, &t, &error)) {
      std::fprintf(stderr, "%s: %s\n", where.c_str(), error.c_str());
      return -1;
    }
    if (HRSRC init = FindResourceW(resources, m_lpszTemplateName, RT_DLGINIT)) {
      m_pDlgInit = LockResource(LoadResource(resources, init));
      m_nDlgInitSize = m_pDlgInit ? SizeofResource(resources, init) : 0;
    }

    Window window(this);
    window.title = t.title;
    window.templateId = IS_INTRESOURCE(m_lpszTemplateName) ? LOWORD(m_lpszTemplateName) : 0;
    window.style = t.style;
    window.x = t.x, window.y = t.y, window.cx = t.cx, window.cy = t.cy;
    for (size_t i = 0; i < t.items.size(); ++i) {
      const stand_in::mfc::DialogItem& item = t.items[i];
      Control c;
      c.className = ClassOf(item.windowClass);
      if (c.className.empty()) {
        std::fprintf(stderr, "%s: control %zu has the window class %s, which is not registered\n", where.c_str(),
                     i + 1,
                     item.windowClass.isOrdinal ? std::to_string(item.windowClass.ordinal).c_str()
                                                : ("\"" + Narrow(item.windowClass.name) + "\"").c_str());
        return -1;
      }
      c.id = static_cast<int>(static_cast<int32_t>(item.id));
      c.kind = KindOf(c.className, item.style);
      c.text = item.title.isOrdinal ? L"" : item.title.name;
      c.style = item.style;
      c.exStyle = item.exStyle;
      c.x = item.x, c.y = item.y, c.cx = item.cx, c.cy = item.cy;
      window.controls.push_back(std::move(c));
    }
    window.owner = OwnerFor(m_pParentWnd);
    window.hwnd = stand_in::window::Create();
    m_hWnd = window.hwnd;
    m_pControls = &window;

    OnInitDialog();
    if (!window.ended()) stand_in::ui::Current().RunDialog(window);
    if (!window.ended()) {
      std::fprintf(stderr, "%s: the UI driver returned with the dialog open; it is cancelled\n", where.c_str());
      window.End(IDCANCEL);
    }
    return window.result();
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "dialog %s: out of memory\n", Narrow(TemplateText()).c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "dialog %s: %s\n", Narrow(TemplateText()).c_str(), e.what());
  } catch (...) {
    std::fprintf(stderr, "dialog %s: failed\n", Narrow(TemplateText()).c_str());
  }
  return -1;
}
