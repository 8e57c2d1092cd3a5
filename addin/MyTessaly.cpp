#include "MyTessaly.h"

#include "BitmapHandler.h"
#include "Commands.h"
#include "HostUtils.h"

#include <cstdlib>
#include <new>
#include <vector>

namespace {

const wchar_t kOpenCallback[] = L"CMyTessaly_Open";
const wchar_t kOpenDescription[] = L"3D Studio 3DS Files (*.3ds) [VELMOR]";
const wchar_t kOpenExtension[] = L"3ds";
const wchar_t kGroupName[] = L"Tessaly";
const wchar_t kGroupTitle[] = L"Tessaly for SolidWorks";
const LONG kGroupId = 1;

struct CommandItem {
  const wchar_t* name;
  const wchar_t* description;
  LONG imageIndex;  // in the icon strips, from the left
  const wchar_t* callback;
};
const CommandItem kCommands[] = {
    {L"Import", L"Import a 3DS file", 0, L"CTessaly_Import"},
    {L"Help", L"Display the Tessaly for SolidWorks help file", 1, L"CTessaly_Help"},
    {L"About", L"Display the Tessaly for SolidWorks about box", 3, L"CTessaly_About"},
};
const int kCommandCount = sizeof(kCommands) / sizeof(kCommands[0]);

// Document types that get a "Tessaly" tab, in this order.
const LONG kTabDocumentTypes[] = {2, 3, 1};

// A COM method's body: no C++ exception leaves it.
template <class F>
HRESULT Guarded(F&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

// A command callback: the host hears S_OK whatever became of the command.
// The commands tell the user of their own failures; running out of memory
// around them (the caption, the path) is told here.
template <class F>
HRESULT RunCommand(CComPtr<IHostApplication> host, F&& command) noexcept {
  try {
    command(host.p);
  } catch (const std::bad_alloc&) {
    HWND owner = NULL;
    try {
      owner = GetMainHwnd(host);
    } catch (...) {
    }
    MessageBoxW(owner, L"Not enough memory to carry out the command", caption, MB_ICONWARNING);
  } catch (...) {
  }
  return S_OK;
}

// The leading number of the host's revision text ("21.0.0" gives 21), read
// in the thread's ANSI code page as strtol reads it; 0 when there is none.
LONG MajorRevision(BSTR revision) {
  if (!revision) return 0;
  const int size = WideCharToMultiByte(CP_THREAD_ACP, 0, revision, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return 0;
  std::vector<char> narrow(static_cast<size_t>(size));
  WideCharToMultiByte(CP_THREAD_ACP, 0, revision, -1, narrow.data(), size, nullptr, nullptr);
  return static_cast<LONG>(std::strtol(narrow.data(), nullptr, 10));
}

}  // namespace

CMyTessaly::CMyTessaly() : m_addinCookie(0), m_hostMajor(0) {}

STDMETHODIMP CMyTessaly::ToolbarCallback0() { return S_OK; }

STDMETHODIMP CMyTessaly::ToolbarEnable0(LONG* status) {
  if (!status) return E_POINTER;
  *status = 1;
  return S_OK;
}

STDMETHODIMP CMyTessaly::CTessaly_Import() {
  return RunCommand(GetHostApp(), [](IHostApplication* host) {
    BuildCaption(host);
    ImportFile(host, CString());
  });
}

STDMETHODIMP CMyTessaly::CTessaly_Help() {
  return RunCommand(GetHostApp(), [](IHostApplication* host) { ShowHelp(host); });
}

STDMETHODIMP CMyTessaly::CTessaly_About() {
  return RunCommand(GetHostApp(), [](IHostApplication* host) { ShowAbout(host); });
}

STDMETHODIMP CMyTessaly::CMyTessaly_Open(BSTR fileName) {
  return RunCommand(GetHostApp(), [fileName](IHostApplication* host) {
    BuildCaption(host);
    // A null path is the empty text: the file dialog then asks for the file.
    ImportFile(host, CString(fileName ? fileName : L""));
  });
}

HRESULT STDMETHODCALLTYPE CMyTessaly::OnHostEvent4(BSTR) { return S_OK; }
HRESULT STDMETHODCALLTYPE CMyTessaly::OnHostEvent5() { return S_OK; }
HRESULT STDMETHODCALLTYPE CMyTessaly::OnHostEvent11() { return S_OK; }
HRESULT STDMETHODCALLTYPE CMyTessaly::OnHostEvent12(IDispatch*, LONG) { return S_OK; }

STDMETHODIMP CMyTessaly::ConnectToSW(IDispatch* ThisSW, LONG Cookie, VARIANT_BOOL* IsConnected) {
  if (!IsConnected) return E_POINTER;
  return Guarded([&] {
    *IsConnected = VARIANT_FALSE;
    // Without the host application there is nothing to connect to.
    if (!ThisSW) return E_INVALIDARG;
    // A host that connects again without disconnecting: what the earlier
    // connection set up is taken down first, so that nothing of it is left
    // in the host whatever becomes of this one.
    if (m_hostApp || m_commandManager) Disconnect();
    HRESULT hr = ThisSW->QueryInterface(__uuidof(IHostApplication), reinterpret_cast<void**>(&m_hostApp));
    if (FAILED(hr) || !m_hostApp) {
      m_hostApp.Release();
      return FAILED(hr) ? hr : E_NOINTERFACE;
    }
    m_addinCookie = Cookie;
    m_hostApp->GetCommandManager(m_addinCookie, &m_commandManager);

    VARIANT_BOOL registered = VARIANT_FALSE;
    const LONG instance = static_cast<LONG>(reinterpret_cast<LONG_PTR>(_AtlBaseModule.GetModuleInstance()));
    m_hostApp->RegisterCallbackObject(instance, static_cast<IDispatch*>(static_cast<IMyTessaly*>(this)),
                                      m_addinCookie, &registered);

    // Owned, so that the text is freed however the reading ends.
    CComBSTR revision;
    m_hostApp->RevisionNumber(&revision);
    m_hostMajor = MajorRevision(revision);
    revision.Empty();

    SetUpCommandUI();
    AdviseHostEvents();

    *IsConnected = VARIANT_TRUE;
    return S_OK;
  });
}

STDMETHODIMP CMyTessaly::DisconnectFromSW(VARIANT_BOOL* IsDisconnected) {
  return Guarded([&] {
    const VARIANT_BOOL unadvised = Disconnect();
    if (IsDisconnected) *IsDisconnected = unadvised;
    return E_NOTIMPL;
  });
}

VARIANT_BOOL CMyTessaly::Disconnect() {
  TearDownCommandUI();
  const VARIANT_BOOL unadvised = UnadviseHostEvents();
  // Each member is null before its interface goes, so nothing reaches a
  // released host object through it.
  IHostCommandManager* manager = m_commandManager.Detach();
  if (manager) manager->Release();
  IHostApplication* app = m_hostApp.Detach();
  if (app) app->Release();
  return unadvised;
}

int CMyTessaly::HostTypeLibMajor() const { return m_hostMajor >= 14 ? static_cast<int>(m_hostMajor) : 0; }

CComPtr<IHostApplication> CMyTessaly::GetHostApp() const { return m_hostApp; }

void CMyTessaly::SetUpCommandUI() {
  if (!m_hostApp) return;
  VARIANT_BOOL done = VARIANT_FALSE;
  m_hostApp->AddFileOpenItem(m_addinCookie, CComBSTR(kOpenCallback), CComBSTR(kOpenDescription),
                             CComBSTR(kOpenExtension), CComBSTR(L""), CComBSTR(L""), &done);
  if (!m_commandManager) return;

  CComPtr<IBitmapHandler> bitmaps;
  {
    CComObject<CBitmapHandler>* handler = nullptr;
    if (SUCCEEDED(CComObject<CBitmapHandler>::CreateInstance(&handler))) bitmaps = handler;
  }

  CComPtr<IHostCommandGroup> group;
  m_commandManager->CreateCommandGroup(kGroupId, CComBSTR(kGroupName), CComBSTR(kGroupTitle),
                                       CComBSTR(kGroupTitle), -1, &group);

  // Each icon file is made right before the group takes it; a file the
  // handler could not make leaves its path null.
  CComBSTR smallList, largeList, smallMain, largeMain;
  if (bitmaps) bitmaps->CreateBitmapFileFromResource(IDB_TOOLBAR_SMALL, &smallList);
  if (group) group->SetSmallIconList(smallList);
  if (bitmaps) bitmaps->CreateBitmapFileFromResource(IDB_TOOLBAR_LARGE, &largeList);
  if (group) group->SetLargeIconList(largeList);
  if (bitmaps) bitmaps->CreateBitmapFileFromResource(IDB_MAIN_SMALL, &smallMain);
  if (group) group->SetSmallMainIcon(smallMain);
  if (bitmaps) bitmaps->CreateBitmapFileFromResource(IDB_MAIN_LARGE, &largeMain);
  if (group) group->SetLargeMainIcon(largeMain);

  LONG items[kCommandCount] = {};
  if (group) {
    group->PreItemSetting(3);
    for (int i = 0; i < kCommandCount; ++i) {
      const CommandItem& c = kCommands[i];
      group->AddCommandItem(CComBSTR(c.name), -1, CComBSTR(c.description), CComBSTR(c.name), c.imageIndex,
                            CComBSTR(c.callback), CComBSTR(L""), 0, 3, &items[i]);
    }
    group->PostItemSettingA(1);
    group->PostItemSettingB(1);
    VARIANT_BOOL active = VARIANT_FALSE;
    group->Activate(&active);
  }

  for (LONG type : kTabDocumentTypes) {
    LONG unused = 0;
    m_commandManager->QueryDocumentType(type, &unused);
    CComPtr<IHostCommandTab> tab;
    m_commandManager->GetCommandTab(type, CComBSTR(kGroupName), &tab);
    if (tab) continue;  // a tab of that name from before: no second one
    m_commandManager->AddCommandTab(type, CComBSTR(kGroupName), &tab);
    if (!tab || !group) continue;
    CComPtr<IHostCommandTabBox> box;
    tab->AddTabBox(&box);
    if (!box) continue;
    LONG ids[kCommandCount] = {};
    for (int i = 0; i < kCommandCount; ++i) group->GetCommandId(items[i], &ids[i]);
    const LONG textTypes[kCommandCount] = {2, 2, 2};
    VARIANT_BOOL added = VARIANT_FALSE;
    box->AddCommands(kCommandCount, ids, textTypes, &added);
  }

  // The host has read the images: the files and their handler go now.
  if (bitmaps) bitmaps->Dispose();
  bitmaps.Release();
}

void CMyTessaly::TearDownCommandUI() {
  VARIANT_BOOL done = VARIANT_FALSE;
  if (m_commandManager) m_commandManager->RemoveCommandGroup(kGroupId, &done);
  if (m_hostApp)
    m_hostApp->RemoveFileOpenItem(m_addinCookie, CComBSTR(kOpenCallback), CComBSTR(kOpenDescription),
                                  CComBSTR(kOpenExtension), &done);
}

VARIANT_BOOL CMyTessaly::AdviseHostEvents() {
  m_libid = SldWorks::LIBID_SldWorks;
  m_wMinorVerNum = 0;
  m_wMajorVerNum = static_cast<WORD>(HostTypeLibMajor());
  HostEventsSink::_tih.m_wMajor = m_wMajorVerNum;
  if (!m_hostApp) return VARIANT_FALSE;
  return DispEventAdvise(m_hostApp) == S_OK ? VARIANT_TRUE : VARIANT_FALSE;
}

VARIANT_BOOL CMyTessaly::UnadviseHostEvents() {
  if (!m_hostApp) return VARIANT_FALSE;
  return DispEventUnadvise(m_hostApp) == S_OK ? VARIANT_TRUE : VARIANT_FALSE;
}
