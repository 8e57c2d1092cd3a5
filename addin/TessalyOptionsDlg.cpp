#include "TessalyOptionsDlg.h"

#include "VLMGUI.h"

namespace {

const wchar_t kOptionsKey[] = L"Software\\VELMOR\\Tessaly for SolidWorks";

}  // namespace

CTessalyOptionsDlg::CTessalyOptionsDlg(CWnd* pParent)
    : CDialog(CTessalyOptionsDlg::IDD, pParent),
      m_importAs(-1),
      m_showProgress(FALSE),
      m_units(-1),
      m_multiBody(FALSE),
      m_yUp(FALSE) {}

void CTessalyOptionsDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Radio(pDX, IDC_RADIO_SOLID, m_importAs);
  DDX_Check(pDX, IDC_CHECK_PROGRESS, m_showProgress);
  DDX_CBIndex(pDX, IDC_COMBO_UNITS, m_units);
  DDX_Check(pDX, IDC_CHECK_MULTIBODY, m_multiBody);
  DDX_Check(pDX, IDC_CHECK_YUP, m_yUp);
}

BEGIN_MESSAGE_MAP(CTessalyOptionsDlg, CDialog)
END_MESSAGE_MAP()

BOOL CTessalyOptionsDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  VLMRegistry registry;
  registry.SetKey(CString(kOptionsKey), 1);
  m_importAs = registry.ReadInt(CString(L"Import As"), 0);
  m_units = registry.ReadInt(CString(L"Units"), 3);
  m_multiBody = registry.ReadBool(CString(L"MultiBody"), 1);
  m_yUp = registry.ReadBool(CString(L"Y Up"), 1);
  m_showProgress = registry.ReadBool(CString(L"Progress"), 1);

  UpdateData(FALSE);
  return TRUE;
}

void CTessalyOptionsDlg::OnOK() {
  if (!UpdateData(TRUE)) return;

  VLMRegistry registry;
  registry.SetKey(CString(kOptionsKey), 1);
  registry.WriteInt(CString(L"Import As"), m_importAs);
  registry.WriteInt(CString(L"Units"), m_units);
  registry.WriteBool(CString(L"MultiBody"), m_multiBody);
  registry.WriteBool(CString(L"Y Up"), m_yUp);
  registry.WriteBool(CString(L"Progress"), m_showProgress);

  CDialog::OnOK();
}
