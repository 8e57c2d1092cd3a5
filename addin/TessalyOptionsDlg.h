// The import options dialog: how the meshes of a 3DS file become geometry.
// It reads the stored options when it opens and stores all five on OK.
#pragma once

#include <afxwin.h>

#include "resource.h"

class CTessalyOptionsDlg : public CDialog {
 public:
  explicit CTessalyOptionsDlg(CWnd* pParent = nullptr);

  enum { IDD = IDD_TESSALY_OPTIONS };

  int m_importAs;       // 0 solid, 1 3D sketch, -1 no choice
  BOOL m_showProgress;
  int m_units;          // 0 mm, 1 cm, 2 m, 3 in, 4 ft, -1 no choice
  BOOL m_multiBody;
  BOOL m_yUp;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  void OnOK() override;

  DECLARE_MESSAGE_MAP()
};
