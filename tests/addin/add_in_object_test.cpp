// The add-in object as the host meets it: connected to a stand-in host,
// setting up its command group, tabs and Open-dialog entry, called back by
// name, receiving the host's events, and letting go of everything again.
#include "addin_fixture.h"

#include "MyTessaly.h"
#include "Tessaly_i.h"
#include "fail_each_allocation.h"
#include "temp_dir.h"

#include <ocidl.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <set>

// The module's registration (the classes and the type library the host's
// calls by name are resolved through), written into the test's registry.
STDAPI DllRegisterServer();
STDAPI DllCanUnloadNow();

namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

const wchar_t kOpenDescription[] = L"3D Studio 3DS Files (*.3ds) [VELMOR]";
const DWORD kNotAdvised = 0xFEFEFEFE;

typedef CMyTessaly::HostEventsSink Sink;

// The event descriptions the sink class holds once loaded stay for the
// module's life, as ATL keeps them; each test starts without them, as a
// fresh process would.
void ForgetEventDescriptions() {
  CComTypeInfoHolder::Cleanup(reinterpret_cast<DWORD_PTR>(&Sink::_tih));
  Sink::_tih.m_plibid = &GUID_NULL;
}

// The add-in with its event handlers watched: each one notes its call and
// then runs the add-in's own.
class EventProbe : public CMyTessaly {
 public:
  HRESULT STDMETHODCALLTYPE OnHostEvent4(BSTR path) override {
    handled.push_back(std::wstring(L"4 ") + (path ? path : L"null"));
    return CMyTessaly::OnHostEvent4(path);
  }
  HRESULT STDMETHODCALLTYPE OnHostEvent5() override {
    handled.push_back(L"5");
    return CMyTessaly::OnHostEvent5();
  }
  HRESULT STDMETHODCALLTYPE OnHostEvent11() override {
    handled.push_back(L"11");
    return CMyTessaly::OnHostEvent11();
  }
  HRESULT STDMETHODCALLTYPE OnHostEvent12(IDispatch* document, LONG type) override {
    handled.push_back(std::wstring(L"12 ") + (document ? L"object " : L"null ") + std::to_wstring(type));
    return CMyTessaly::OnHostEvent12(document, type);
  }
  std::vector<std::wstring> handled;
};

// A new object with the caller's first reference.
template <class T>
CComObject<T>* New() {
  CComObject<T>* object = nullptr;
  EXPECT_EQ(CComObject<T>::CreateInstance(&object), S_OK);
  if (object) object->AddRef();
  return object;
}

CComPtr<IDispatch> DispatchOf(IHostApplication* app) {
  CComPtr<IDispatch> dispatch;
  EXPECT_EQ(app->QueryInterface(__uuidof(IDispatch), reinterpret_cast<void**>(&dispatch)), S_OK);
  return dispatch;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

class AddInObject : public AddinTest {
 protected:
  void SetUp() override {
    AddinTest::SetUp();
    // The icon files go to a temporary folder of the test's own.
    fs::create_directories(root / "tmp");
    if (const char* old = std::getenv("TMP")) oldTmp = old;
    setenv("TMP", (root / "tmp").c_str(), 1);
    ASSERT_EQ(DllRegisterServer(), S_OK);
    ForgetEventDescriptions();
    locks = _pAtlModule->GetLockCount();
    object = New<CMyTessaly>();
    ASSERT_TRUE(object);
  }
  void TearDown() override {
    host.UnloadAddIns();
    if (object) {
      EXPECT_EQ(object->Release(), 0u) << "the host let go of the add-in";
    }
    object = nullptr;
    EXPECT_EQ(_pAtlModule->GetLockCount(), locks) << "every object made was destroyed";
    for (const auto& file : TempFiles()) ADD_FAILURE() << "left: " << file;
    EXPECT_EQ(host.UseAfterRelease(), 0) << host.DescribeUseAfterRelease();
    if (oldTmp) setenv("TMP", oldTmp->c_str(), 1);
    else unsetenv("TMP");
    AddinTest::TearDown();
  }

  SWPublished::ISwAddin* addin() { return object; }
  IMyTessaly* my() { return object; }

  // Connects the object the host's way; its cookie.
  LONG Connect() {
    LONG cookie = 0;
    EXPECT_EQ(host.ConnectAddIn(addin(), &cookie), S_OK);
    EXPECT_NE(cookie, 0);
    return cookie;
  }

  // The files the temporary-file service made ("swt" names).
  std::set<fs::path> TempFiles() const {
    std::set<fs::path> out;
    std::error_code error;
    for (const auto& e : fs::directory_iterator(root / "tmp", error))
      if (e.path().filename().string().rfind("swt", 0) == 0) out.insert(e.path());
    return out;
  }

  const stand_in::CommandManager& Manager(LONG cookie) {
    const stand_in::CommandManager* manager = host.FindCommandManager(cookie);
    EXPECT_TRUE(manager);
    static const stand_in::CommandManager none;
    return manager ? *manager : none;
  }

  // The ops recorded, without the host's own calls out.
  std::vector<std::string> HostOps() const {
    std::vector<std::string> out;
    for (const auto& op : host.Operations())
      if (op.rfind("host to", 0) != 0) out.push_back(op);
    return out;
  }

  CComObject<CMyTessaly>* object = nullptr;
  LONG locks = 0;
  std::optional<std::string> oldTmp;
};

// --- connection ----------------------------------------------------------

TEST_F(AddInObject, ConnectionSetsUpTheCommandsInOrder) {
  const LONG cookie = Connect();
  const std::string c = std::to_string(cookie);
  const auto& groups = Manager(cookie).groups;
  ASSERT_EQ(groups.size(), 1u);
  const stand_in::CommandGroup& group = groups.front();
  ASSERT_EQ(group.items.size(), 3u);
  const std::string instance =
      std::to_string(static_cast<LONG>(reinterpret_cast<LONG_PTR>(_AtlBaseModule.GetModuleInstance())));
  std::vector<std::string> ids;
  for (const auto& item : group.items) ids.push_back(std::to_string(item.commandId));
  const std::string idList = "[" + ids[0] + ", " + ids[1] + ", " + ids[2] + "]";

  struct Expected {
    std::string op, args;
  };
  std::vector<Expected> expected = {
      {"host to add-in: ISwAddin::ConnectToSW", "application as IDispatch, " + c},
      {"IHostApplication::GetCommandManager", c},
      {"IHostApplication::RegisterCallbackObject", instance + ", dispatch object, " + c},
      {"IHostApplication::RevisionNumber", ""},
      {"IHostApplication::AddFileOpenItem", c + ", \"CMyTessaly_Open\", \"" + Narrow(kOpenDescription) + "\", \"3ds\", \"\", \"\""},
      {"IHostCommandManager::CreateCommandGroup",
       "1, \"Tessaly\", \"Tessaly for SolidWorks\", \"Tessaly for SolidWorks\", -1"},
      {"IHostCommandGroup::SetSmallIconList", "\"" + Narrow(group.smallIcons.path) + "\""},
      {"IHostCommandGroup::SetLargeIconList", "\"" + Narrow(group.largeIcons.path) + "\""},
      {"IHostCommandGroup::SetSmallMainIcon", "\"" + Narrow(group.smallMain.path) + "\""},
      {"IHostCommandGroup::SetLargeMainIcon", "\"" + Narrow(group.largeMain.path) + "\""},
      {"IHostCommandGroup::PreItemSetting", "3"},
      {"IHostCommandGroup::AddCommandItem",
       "\"Import\", -1, \"Import a 3DS file\", \"Import\", 0, \"CTessaly_Import\", \"\", 0, 3"},
      {"IHostCommandGroup::AddCommandItem",
       "\"Help\", -1, \"Display the Tessaly for SolidWorks help file\", \"Help\", 1, \"CTessaly_Help\", \"\", 0, 3"},
      {"IHostCommandGroup::AddCommandItem",
       "\"About\", -1, \"Display the Tessaly for SolidWorks about box\", \"About\", 3, \"CTessaly_About\", \"\", 0, "
       "3"},
      {"IHostCommandGroup::PostItemSettingA", "1"},
      {"IHostCommandGroup::PostItemSettingB", "1"},
      {"IHostCommandGroup::Activate", ""},
  };
  for (const char* type : {"2", "3", "1"}) {
    const std::string t = type;
    expected.push_back({"IHostCommandManager::QueryDocumentType", t});
    expected.push_back({"IHostCommandManager::GetCommandTab", t + ", \"Tessaly\""});
    expected.push_back({"IHostCommandManager::AddCommandTab", t + ", \"Tessaly\""});
    expected.push_back({"IHostCommandTab::AddTabBox", ""});
    expected.push_back({"IHostCommandGroup::GetCommandId", "0"});
    expected.push_back({"IHostCommandGroup::GetCommandId", "1"});
    expected.push_back({"IHostCommandGroup::GetCommandId", "2"});
    expected.push_back({"IHostCommandTabBox::AddCommands", "3, " + idList + ", [2, 2, 2]"});
  }
  expected.push_back({"IConnectionPointContainer::FindConnectionPoint", "IHostApplicationEvents"});
  expected.push_back({"IConnectionPoint::Advise", "sink"});

  const auto calls = host.Calls();
  for (size_t i = 0; i < std::max(calls.size(), expected.size()); ++i) {
    SCOPED_TRACE(i);
    ASSERT_LT(i, calls.size()) << "missing " << expected[i].op;
    ASSERT_LT(i, expected.size()) << "more: " << calls[i].op << "(" << calls[i].args << ")";
    EXPECT_EQ(calls[i].op, expected[i].op);
    EXPECT_EQ(calls[i].args, expected[i].args) << calls[i].op;
    // Every call the add-in made was one the host could do.
    EXPECT_EQ(calls[i].result, S_OK) << calls[i].op << ": " << calls[i].error;
  }

  // What the host holds now.
  EXPECT_EQ(host.CallbackObject(cookie), static_cast<IDispatch*>(my()));
  ASSERT_EQ(host.FileOpenEntries().size(), 1u);
  const stand_in::FileOpenEntry& entry = host.FileOpenEntries()[0];
  EXPECT_EQ(entry.cookie, cookie);
  EXPECT_EQ(entry.callback, L"CMyTessaly_Open");
  EXPECT_EQ(entry.description, kOpenDescription);
  EXPECT_EQ(entry.extension, L"3ds");
  EXPECT_EQ(group.userId, 1);
  EXPECT_EQ(group.title, L"Tessaly");
  EXPECT_TRUE(group.active);
  EXPECT_EQ(group.items[0].imageIndex, 0);
  EXPECT_EQ(group.items[1].imageIndex, 1);
  EXPECT_EQ(group.items[2].imageIndex, 3);
  const auto& tabs = host.CommandTabs();
  ASSERT_EQ(tabs.size(), 3u);
  const LONG types[] = {2, 3, 1};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(tabs[i].documentType, types[i]);
    EXPECT_EQ(tabs[i].name, L"Tessaly");
    ASSERT_EQ(tabs[i].boxes.size(), 1u);
    EXPECT_THAT(tabs[i].boxes[0].commandIds,
                ElementsAre(group.items[0].commandId, group.items[1].commandId, group.items[2].commandId));
    EXPECT_THAT(tabs[i].boxes[0].textTypes, ElementsAre(2, 2, 2));
  }
  EXPECT_EQ(host.EventSinks(), 1u);
  // The application and the command manager, nothing else.
  EXPECT_EQ(host.HeldReferences(), 2) << host.DescribeHeld();
}

// The host read each image from a file of its own while the group was set
// up; the files and the handler that made them are gone by the end.
TEST_F(AddInObject, IconsAreReadFromTemporaryFilesThatAreGoneAfterwards) {
  Connect();
  const auto& groups = host.CommandManagers().at(0).groups;
  ASSERT_EQ(groups.size(), 1u);
  const stand_in::CommandGroup& group = groups.front();
  struct Case {
    const stand_in::Icon* icon;
    LONG width, height;
  } const cases[] = {
      {&group.smallIcons, 64, 16}, {&group.largeIcons, 96, 24}, {&group.smallMain, 16, 16}, {&group.largeMain, 24, 24}};
  std::set<std::wstring> paths;
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.icon->path));
    EXPECT_EQ(c.icon->width, c.width);
    EXPECT_EQ(c.icon->height, c.height);
    const fs::path native = stand_in::NativePath(c.icon->path);
    EXPECT_EQ(native.parent_path(), root / "tmp");
    EXPECT_EQ(native.filename().string().rfind("swt", 0), 0u);
    EXPECT_EQ(native.extension(), ".TMP");
    EXPECT_FALSE(fs::exists(native));
    paths.insert(c.icon->path);
  }
  EXPECT_EQ(paths.size(), 4u) << "four files";
  EXPECT_TRUE(TempFiles().empty());
  EXPECT_EQ(_pAtlModule->GetLockCount(), locks + 1) << "the add-in alone: the bitmap handler is gone";
}

// A temporary folder too long for the bitmap handler's buffer: no icon file
// is made, each image is handed over as a null path, and the set-up goes on.
TEST_F(AddInObject, IconsThatCannotBeWrittenAreHandedOverNullAndTheSetUpGoesOn) {
  const fs::path deep = test_support::DeepFolder(root / "tmp", 300);
  ASSERT_EQ(deep.string().size(), 300u);
  setenv("TMP", deep.c_str(), 1);
  const LONG cookie = Connect();
  for (const char* op : {"IHostCommandGroup::SetSmallIconList", "IHostCommandGroup::SetLargeIconList",
                         "IHostCommandGroup::SetSmallMainIcon", "IHostCommandGroup::SetLargeMainIcon"}) {
    SCOPED_TRACE(op);
    const auto calls = host.Calls();
    const auto call = std::find_if(calls.begin(), calls.end(), [&](const auto& c) { return c.op == op; });
    ASSERT_NE(call, calls.end());
    EXPECT_THAT(call->error, HasSubstr("null"));
  }
  const auto& groups = Manager(cookie).groups;
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups.front().items.size(), 3u);
  EXPECT_TRUE(groups.front().active);
  EXPECT_EQ(host.CommandTabs().size(), 3u);
  EXPECT_EQ(host.EventSinks(), 1u);
  for (const auto& e : fs::recursive_directory_iterator(root / "tmp"))
    EXPECT_NE(e.path().filename().string().rfind("swt", 0), 0u) << e.path();
}

// The major revision selects the version of the host's type library the
// events are read with: the revision itself from 14 on, else 0.
TEST_F(AddInObject, TheRevisionSelectsTheEventLibraryVersion) {
  struct Case {
    const wchar_t* revision;
    WORD major;      // the sink's
    bool delivered;  // the host registers its library at its own major
  } const cases[] = {
      {L"21.0.0", 21, true}, {L"13.0.0", 0, false}, {L"14", 14, true}, {L"", 0, true}, {L"abc", 0, true},
      {L"14.9", 14, true},   {L" 22x", 22, true},   {L"-3", 0, false},    {nullptr, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.revision ? Narrow(c.revision) : "null");
    ForgetEventDescriptions();
    stand_in::Host other;
    other.SetRevisionNumber(c.revision);
    CComObject<EventProbe>* probe = New<EventProbe>();
    ASSERT_TRUE(probe);
    EXPECT_EQ(probe->m_wMajorVerNum, 14) << "as constructed";
    EXPECT_EQ(probe->m_dwEventCookie, kNotAdvised);
    ASSERT_EQ(other.ConnectAddIn(probe), S_OK);
    EXPECT_EQ(probe->m_wMajorVerNum, c.major);
    EXPECT_EQ(probe->m_wMinorVerNum, 0);
    EXPECT_EQ(probe->m_libid, SldWorks::LIBID_SldWorks);
    EXPECT_EQ(Sink::_tih.m_wMajor, c.major) << "the shared holder too";
    EXPECT_NE(probe->m_dwEventCookie, kNotAdvised);
    EXPECT_EQ(other.EventSinks(), 1u);
    EXPECT_EQ(other.FireEvent(5), S_OK);
    EXPECT_EQ(probe->handled.size(), c.delivered ? 1u : 0u);
    other.UnloadAddIns();
    EXPECT_EQ(other.HeldReferences(), 0) << other.DescribeHeld();
    EXPECT_EQ(probe->Release(), 0u);
  }
  ForgetEventDescriptions();
}

TEST_F(AddInObject, EventsAreNotDeliveredWhenTheHostsLibraryIsAtAnotherVersion) {
  host.SetRevisionNumber(L"21.0.0");
  CComObject<EventProbe>* probe = New<EventProbe>();
  ASSERT_TRUE(probe);
  ASSERT_EQ(host.ConnectAddIn(probe), S_OK);
  EXPECT_EQ(probe->m_wMajorVerNum, 21);
  // The host's library moves to 20.0: the sink, at 21.0, finds none.
  host.SetRevisionNumber(L"20.0.0");
  EXPECT_EQ(host.FireEvent(11), S_OK);
  EXPECT_TRUE(probe->handled.empty());
  host.SetRevisionNumber(L"21.0.0");
  EXPECT_EQ(host.FireEvent(11), S_OK);
  EXPECT_THAT(probe->handled, ElementsAre(L"11"));
  host.UnloadAddIns();
  EXPECT_EQ(probe->Release(), 0u);
}

// A connection to a host that already has the tabs, as an earlier
// connection leaves them: the group anew, but no second tab and no box.
TEST_F(AddInObject, ReconnectionFindsTheTabsAndAddsNone) {
  const LONG cookie = Connect();
  VARIANT_BOOL flag = VARIANT_FALSE;
  EXPECT_EQ(addin()->DisconnectFromSW(&flag), E_NOTIMPL);
  EXPECT_EQ(flag, VARIANT_TRUE);
  ASSERT_EQ(host.CommandTabs().size(), 3u);

  host.ClearCalls();
  host.RecordUnknownCalls(true);
  CComPtr<IDispatch> dispatch = DispatchOf(app());
  flag = VARIANT_FALSE;
  EXPECT_EQ(addin()->ConnectToSW(dispatch, cookie, &flag), S_OK);
  EXPECT_EQ(flag, VARIANT_TRUE);
  const auto calls = host.Calls();
  host.RecordUnknownCalls(false);
  dispatch.Release();

  // The tab part: from the first QueryDocumentType to the advise.
  size_t first = calls.size(), last = calls.size();
  for (size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].op == "IHostCommandManager::QueryDocumentType" && first == calls.size()) first = i;
    if (calls[i].op == "IConnectionPointContainer::FindConnectionPoint") last = i;
  }
  ASSERT_LT(first, calls.size());
  std::vector<std::string> tabCalls;
  for (size_t i = first; i < last; ++i) {
    // The query for the events' container belongs to the advise.
    if (calls[i].op == "IUnknown::QueryInterface" && calls[i].args.find("IConnectionPointContainer") != std::string::npos)
      break;
    tabCalls.push_back(calls[i].op + "(" + calls[i].args + ")");
  }
  EXPECT_THAT(tabCalls,
              ElementsAre("IHostCommandManager::QueryDocumentType(2)",
                          "IHostCommandManager::GetCommandTab(2, \"Tessaly\")",
                          HasSubstr("IUnknown::Release(tab \"Tessaly\" of document type 2"),
                          "IHostCommandManager::QueryDocumentType(3)",
                          "IHostCommandManager::GetCommandTab(3, \"Tessaly\")",
                          HasSubstr("IUnknown::Release(tab \"Tessaly\" of document type 3"),
                          "IHostCommandManager::QueryDocumentType(1)",
                          "IHostCommandManager::GetCommandTab(1, \"Tessaly\")",
                          HasSubstr("IUnknown::Release(tab \"Tessaly\" of document type 1"),
                          HasSubstr("IUnknown::Release(command group 1 of")));
  for (const auto& call : calls) {
    EXPECT_NE(call.op, "IHostCommandManager::AddCommandTab");
    EXPECT_NE(call.op, "IHostCommandTab::AddTabBox");
    EXPECT_NE(call.op, "IHostCommandGroup::GetCommandId");
    EXPECT_NE(call.op, "IHostCommandTabBox::AddCommands");
  }
  // Group 1 made anew, with its images; the tabs as they were.
  const auto& groups = Manager(cookie).groups;
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_TRUE(groups.front().active);
  EXPECT_EQ(groups.front().largeMain.width, 24);
  ASSERT_EQ(host.CommandTabs().size(), 3u);
  for (const auto& tab : host.CommandTabs()) EXPECT_EQ(tab.boxes.size(), 1u);
  EXPECT_EQ(host.FileOpenEntries().size(), 1u);
  EXPECT_EQ(host.EventSinks(), 1u);
  EXPECT_EQ(host.HeldReferences(), 2) << host.DescribeHeld();
  EXPECT_TRUE(TempFiles().empty());
}

// Another add-in object finds the tabs the first one left.
TEST_F(AddInObject, ASecondAddInObjectFindsTheTabsTheFirstLeft) {
  Connect();
  host.UnloadAddIns();
  ASSERT_EQ(host.CommandTabs().size(), 3u);
  CComObject<CMyTessaly>* second = New<CMyTessaly>();
  ASSERT_TRUE(second);
  host.ClearCalls();
  LONG cookie = 0;
  ASSERT_EQ(host.ConnectAddIn(second, &cookie), S_OK);
  const auto ops = HostOps();
  EXPECT_EQ(std::count(ops.begin(), ops.end(), "IHostCommandManager::QueryDocumentType"), 3);
  EXPECT_EQ(std::count(ops.begin(), ops.end(), "IHostCommandManager::GetCommandTab"), 3);
  EXPECT_EQ(std::count(ops.begin(), ops.end(), "IHostCommandManager::AddCommandTab"), 0);
  EXPECT_EQ(std::count(ops.begin(), ops.end(), "IHostCommandTab::AddTabBox"), 0);
  EXPECT_EQ(std::count(ops.begin(), ops.end(), "IHostCommandGroup::GetCommandId"), 0);
  EXPECT_EQ(Manager(cookie).groups.size(), 1u);
  EXPECT_EQ(host.CommandTabs().size(), 3u);
  EXPECT_EQ(host.HeldReferences(), 2) << host.DescribeHeld();
  host.UnloadAddIns();
  EXPECT_EQ(second->Release(), 0u);
}

// A second connection without a disconnection in between first takes down
// what the first set up, as a disconnection does: the host holds one group,
// one Open entry and one sink, each made anew.
TEST_F(AddInObject, ASecondConnectionWithoutDisconnectTakesDownTheFirst) {
  const LONG cookie = Connect();
  const DWORD advised = object->m_dwEventCookie;
  ASSERT_NE(advised, kNotAdvised);
  CComPtr<IDispatch> dispatch = DispatchOf(app());
  host.ClearCalls();
  VARIANT_BOOL flag = VARIANT_FALSE;
  EXPECT_EQ(addin()->ConnectToSW(dispatch, cookie, &flag), S_OK);
  EXPECT_EQ(flag, VARIANT_TRUE);
  const auto ops = HostOps();
  ASSERT_GE(ops.size(), 4u);
  EXPECT_THAT(std::vector<std::string>(ops.begin(), ops.begin() + 4),
              ElementsAre("IHostCommandManager::RemoveCommandGroup", "IHostApplication::RemoveFileOpenItem",
                          "IConnectionPointContainer::FindConnectionPoint", "IConnectionPoint::Unadvise"));
  EXPECT_EQ(std::count(ops.begin(), ops.end(), "IConnectionPoint::Advise"), 1);
  EXPECT_EQ(host.EventSinks(), 1u);
  EXPECT_NE(object->m_dwEventCookie, kNotAdvised);
  EXPECT_EQ(Manager(cookie).groups.size(), 1u);
  EXPECT_EQ(host.FileOpenEntries().size(), 1u);
  EXPECT_TRUE(TempFiles().empty());
  dispatch.Release();
  EXPECT_EQ(host.HeldReferences(), 2) << host.DescribeHeld();
  // The first connection's host references do not outlive the add-in.
  VARIANT_BOOL done = VARIANT_FALSE;
  EXPECT_EQ(addin()->DisconnectFromSW(&done), E_NOTIMPL);
  EXPECT_EQ(done, VARIANT_TRUE);
  EXPECT_EQ(host.EventSinks(), 0u);
  EXPECT_EQ(host.HeldReferences(), 0) << host.DescribeHeld();
}

// A second connection that cannot reach the host application has still let
// go of the first: nothing of it is left in the host.
TEST_F(AddInObject, AFailedReconnectionStrandsNothingOfTheFirst) {
  const LONG cookie = Connect();
  VARIANT_BOOL flag = VARIANT_TRUE;
  // The add-in's own dispatch interface is no host application.
  EXPECT_EQ(addin()->ConnectToSW(my(), cookie, &flag), E_NOINTERFACE);
  EXPECT_EQ(flag, VARIANT_FALSE);
  EXPECT_TRUE(Manager(cookie).groups.empty());
  EXPECT_TRUE(host.FileOpenEntries().empty());
  EXPECT_EQ(host.EventSinks(), 0u);
  EXPECT_EQ(object->m_dwEventCookie, kNotAdvised);
  EXPECT_EQ(host.HeldReferences(), 0) << host.DescribeHeld();
  std::string error;
  EXPECT_EQ(host.PressCommand(L"About", &error), E_FAIL) << "the commands are gone";
  EXPECT_EQ(addin()->DisconnectFromSW(&flag), E_NOTIMPL);
  EXPECT_EQ(flag, VARIANT_FALSE) << "nothing was advised";
}

TEST_F(AddInObject, ConnectToSWAnswersOkWhenTheAdviseFails) {
  host.InjectFault("IConnectionPoint::Advise", 1, CONNECT_E_ADVISELIMIT);
  const LONG cookie = Connect();
  EXPECT_EQ(host.EventSinks(), 0u);
  EXPECT_EQ(object->m_dwEventCookie, kNotAdvised);
  EXPECT_EQ(Manager(cookie).groups.size(), 1u) << "the commands are set up all the same";

  // Not advised: the flag says so, and the rest is done all the same.
  VARIANT_BOOL flag = VARIANT_TRUE;
  EXPECT_EQ(addin()->DisconnectFromSW(&flag), E_NOTIMPL);
  EXPECT_EQ(flag, VARIANT_FALSE);
  EXPECT_TRUE(Manager(cookie).groups.empty());
  EXPECT_TRUE(host.FileOpenEntries().empty());
  EXPECT_EQ(host.HeldReferences(), 0) << host.DescribeHeld();
}

// Wherever memory runs out while the add-in connects, the call answers and
// what it was given goes back: the revision text, every host reference, the
// icon files.
TEST_F(AddInObject, AConnectionThatRunsOutOfMemoryLeavesNothingBehind) {
  if (!test_support::AllocationLimit::Available()) GTEST_SKIP() << "no allocation hook in this build";
  ForgetEventDescriptions();
  CComObject<CMyTessaly>* other = nullptr;
  CComPtr<IDispatch> dispatch = DispatchOf(app());
  VARIANT_BOOL flag = VARIANT_FALSE;
  long texts = 0, held = 0;
  int failed = 0;
  test_support::FailEachAllocation(
      [&] {
        other = New<CMyTessaly>();
        texts = stand_in::LiveBstrCount();
        held = host.HeldReferences();
      },
      [&] { return static_cast<SWPublished::ISwAddin*>(other)->ConnectToSW(dispatch, 7, &flag); },
      [&](HRESULT hr, long long n) {
        if (hr != S_OK) {
          EXPECT_EQ(hr, E_OUTOFMEMORY) << "allocation " << n << " failed";
          ++failed;
        }
        EXPECT_EQ(static_cast<SWPublished::ISwAddin*>(other)->DisconnectFromSW(&flag), E_NOTIMPL);
        EXPECT_EQ(stand_in::LiveBstrCount(), texts) << "allocation " << n << " failed";
        EXPECT_EQ(other->Release(), 0u) << "allocation " << n << " failed";
        EXPECT_EQ(host.HeldReferences(), held) << "allocation " << n << " failed: " << host.DescribeHeld();
        EXPECT_TRUE(TempFiles().empty()) << "allocation " << n << " failed";
      });
  dispatch.Release();
  EXPECT_GT(failed, 0);
  ForgetEventDescriptions();
}

// --- disconnection -------------------------------------------------------

TEST_F(AddInObject, DisconnectionRemovesTheGroupAndTheEntryButNotTheTabs) {
  const LONG cookie = Connect();
  const DWORD advised = object->m_dwEventCookie;
  host.ClearCalls();
  VARIANT_BOOL flag = VARIANT_FALSE;
  EXPECT_EQ(addin()->DisconnectFromSW(&flag), E_NOTIMPL) << "E_NOTIMPL, not S_OK, though all went well";
  EXPECT_EQ(flag, VARIANT_TRUE);
  const std::string c = std::to_string(cookie);
  const auto calls = host.Calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].op, "IHostCommandManager::RemoveCommandGroup");
  EXPECT_EQ(calls[0].args, "1");
  EXPECT_EQ(calls[1].op, "IHostApplication::RemoveFileOpenItem");
  EXPECT_EQ(calls[1].args, c + ", \"CMyTessaly_Open\", \"" + Narrow(kOpenDescription) + "\", \"3ds\"");
  EXPECT_EQ(calls[2].op, "IConnectionPointContainer::FindConnectionPoint");
  EXPECT_EQ(calls[3].op, "IConnectionPoint::Unadvise");
  EXPECT_EQ(calls[3].args, std::to_string(advised));
  for (const auto& call : calls) EXPECT_EQ(call.result, S_OK) << call.op << ": " << call.error;

  EXPECT_TRUE(Manager(cookie).groups.empty());
  EXPECT_TRUE(host.FileOpenEntries().empty());
  EXPECT_EQ(host.CommandTabs().size(), 3u);
  for (const auto& tab : host.CommandTabs()) EXPECT_EQ(tab.boxes.size(), 1u);
  EXPECT_EQ(host.EventSinks(), 0u);
  EXPECT_EQ(object->m_dwEventCookie, kNotAdvised);
  EXPECT_EQ(*Sink::_tih.m_plibid, GUID_NULL) << "the holder takes the library from the sink when next needed";
  EXPECT_EQ(host.HeldReferences(), 0) << host.DescribeHeld();
  std::string error;
  EXPECT_EQ(host.PressCommand(L"About", &error), E_FAIL) << "the commands are gone";
  EXPECT_NE(host.OpenFile(L"D:\\a.3ds", &error), S_OK) << "and the Open entry";

  // Disconnected again: nothing advised.
  flag = VARIANT_TRUE;
  EXPECT_EQ(addin()->DisconnectFromSW(&flag), E_NOTIMPL);
  EXPECT_EQ(flag, VARIANT_FALSE);
}

TEST_F(AddInObject, AReconnectedAddInWorksAsBefore) {
  const LONG cookie = Connect();
  VARIANT_BOOL flag = VARIANT_FALSE;
  EXPECT_EQ(addin()->DisconnectFromSW(&flag), E_NOTIMPL);
  CComPtr<IDispatch> dispatch = DispatchOf(app());
  EXPECT_EQ(addin()->ConnectToSW(dispatch, cookie, &flag), S_OK);
  EXPECT_EQ(flag, VARIANT_TRUE);
  dispatch.Release();
  EXPECT_EQ(host.EventSinks(), 1u);
  EXPECT_EQ(host.FileOpenEntries().size(), 1u);
  std::string error;
  EXPECT_EQ(host.PressCommand(L"About", &error), S_OK) << error;
  EXPECT_EQ(ui.EventsOf("about").size(), 1u);
  EXPECT_EQ(host.FireEvent(4, {L"D:\\a.3ds"}), S_OK);
  EXPECT_EQ(addin()->DisconnectFromSW(&flag), E_NOTIMPL);
  EXPECT_EQ(flag, VARIANT_TRUE);
  EXPECT_EQ(host.HeldReferences(), 0) << host.DescribeHeld();
}

// The host's connection point holds the add-in through its sink while it
// is advised; once disconnected and released, nothing of it is left.
TEST_F(AddInObject, ReleasedAfterDisconnectionNothingIsHeld) {
  Connect();
  EXPECT_EQ(_pAtlModule->GetLockCount(), locks + 1);
  host.UnloadAddIns();
  EXPECT_EQ(host.EventSinks(), 0u);
  EXPECT_EQ(host.HeldReferences(), 0) << host.DescribeHeld();
  EXPECT_EQ(object->Release(), 0u) << "the host kept no reference";
  object = nullptr;
  EXPECT_EQ(_pAtlModule->GetLockCount(), locks) << "destroyed: its module lock is given back";
  if (locks == 0) {
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
  }
}

// Connected and never disconnected, the object lets go of the host when it
// is destroyed.
TEST_F(AddInObject, DestructionReleasesWhatTheHostGave) {
  const LONG cookie = Connect();
  CComObject<CMyTessaly>* second = New<CMyTessaly>();
  ASSERT_TRUE(second);
  CComPtr<IDispatch> dispatch = DispatchOf(app());
  VARIANT_BOOL flag = VARIANT_FALSE;
  EXPECT_EQ(static_cast<SWPublished::ISwAddin*>(second)->ConnectToSW(dispatch, cookie, &flag), S_OK);
  dispatch.Release();
  EXPECT_EQ(host.EventSinks(), 2u);
  host.UnloadAddIns();  // disconnects the first; the second's sink goes with it
  EXPECT_EQ(host.EventSinks(), 0u);
  EXPECT_EQ(host.HeldReferences(), 2) << host.DescribeHeld();
  EXPECT_EQ(second->Release(), 0u);
  EXPECT_EQ(host.HeldReferences(), 0) << host.DescribeHeld();
}

// --- the callbacks -------------------------------------------------------

TEST_F(AddInObject, ToolbarMethods) {
  Connect();
  host.ClearCalls();
  LONG status = 7;
  EXPECT_EQ(my()->ToolbarEnable0(&status), S_OK);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(my()->ToolbarEnable0(nullptr), E_POINTER);
  EXPECT_EQ(my()->ToolbarCallback0(), S_OK);
  EXPECT_TRUE(host.Calls().empty()) << "no call on the host";
  EXPECT_TRUE(ui.events.empty());
  EXPECT_TRUE(host.Documents().empty());
  EXPECT_EQ(host.EventSinks(), 1u);
  EXPECT_EQ(host.HeldReferences(), 2);

  // By name too, as the type library describes them.
  wchar_t enable[] = L"ToolbarEnable0";
  wchar_t callback[] = L"ToolbarCallback0";
  LPOLESTR names[] = {enable, callback};
  DISPID ids[2] = {};
  ASSERT_EQ(my()->GetIDsOfNames(IID_NULL, &names[0], 1, LOCALE_USER_DEFAULT, &ids[0]), S_OK);
  ASSERT_EQ(my()->GetIDsOfNames(IID_NULL, &names[1], 1, LOCALE_USER_DEFAULT, &ids[1]), S_OK);
  EXPECT_EQ(ids[0], 4);
  EXPECT_EQ(ids[1], 3);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(my()->Invoke(4, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &result, nullptr, nullptr), S_OK);
  EXPECT_EQ(result.vt, VT_I4);
  EXPECT_EQ(result.lVal, 1);
  VariantClear(&result);
  EXPECT_EQ(my()->Invoke(3, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &result, nullptr, nullptr), S_OK);
  VariantClear(&result);
}

TEST_F(AddInObject, OpenWithoutAPathShowsTheFileDialog) {
  Connect();
  for (int pass = 0; pass < 3; ++pass) {
    SCOPED_TRACE(pass);
    ui.fileDialogs.clear();
    ui.CancelFile();
    HRESULT hr = E_FAIL;
    if (pass == 0) hr = my()->CMyTessaly_Open(nullptr);
    if (pass == 1) hr = my()->CMyTessaly_Open(CComBSTR(L""));
    if (pass == 2) hr = my()->CTessaly_Import();
    EXPECT_EQ(hr, S_OK);
    ASSERT_EQ(ui.fileDialogs.size(), 1u);
    EXPECT_TRUE(ui.fileDialogs[0].request.open);
    EXPECT_EQ(ui.fileDialogs[0].request.defaultExtension, L"3ds");
  }
  EXPECT_TRUE(ui.dialogs.empty()) << "cancelled before the options";
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(AddInObject, OpenWithAPathImportsIt) {
  Connect();
  Write3ds("Data/robot.3ds", {Tetrahedron("robot")});
  AnswerOptions().Press(IDOK);
  EXPECT_EQ(my()->CMyTessaly_Open(CComBSTR(L"D:\\Data\\robot.3ds")), S_OK);
  EXPECT_TRUE(ui.fileDialogs.empty());
  EXPECT_TRUE(Boxes().empty());
  ASSERT_EQ(host.Documents().size(), 1u);
  ASSERT_EQ(host.Documents()[0].bodies.size(), 1u);
  EXPECT_EQ(host.Documents()[0].bodies[0].kind, stand_in::BodyKind::Solid);
  EXPECT_EQ(host.HeldReferences(), 2) << "the import let go of what it got";
}

// A callback, with what the user is to answer in it.
struct CallbackCase {
  const char* what;
  std::function<void()> script;
  std::function<HRESULT()> call;
};

// The callbacks answer S_OK whatever the command came to.
TEST_F(AddInObject, EveryCallbackAnswersOkWhenTheUserCancels) {
  Connect();
  Write3ds("Data/robot.3ds", {Tetrahedron("robot")});
  const CallbackCase cases[] = {
      {"Import, file dialog cancelled", [&] { ui.CancelFile(); }, [&] { return my()->CTessaly_Import(); }},
      {"Import, options cancelled",
       [&] {
         ui.ChooseFile(L"D:\\Data\\robot.3ds");
         AnswerOptions().Press(IDCANCEL);
       },
       [&] { return my()->CTessaly_Import(); }},
      {"Open, file dialog cancelled", [&] { ui.CancelFile(); }, [&] { return my()->CMyTessaly_Open(nullptr); }},
      {"Open, options cancelled", [&] { AnswerOptions().Press(IDCANCEL); },
       [&] { return my()->CMyTessaly_Open(CComBSTR(L"D:\\Data\\robot.3ds")); }},
      {"Open, options closed", [&] { AnswerOptions().Close(); },
       [&] { return my()->CMyTessaly_Open(CComBSTR(L"D:\\Data\\robot.3ds")); }},
      {"Open, a file that is missing", [&] { AnswerOptions().Press(IDOK); },
       [&] { return my()->CMyTessaly_Open(CComBSTR(L"D:\\Data\\missing.3ds")); }},
      {"Help without its file", [] {}, [&] { return my()->CTessaly_Help(); }},
      {"About", [] {}, [&] { return my()->CTessaly_About(); }},
  };
  for (const CallbackCase& c : cases) {
    SCOPED_TRACE(c.what);
    c.script();
    EXPECT_EQ(c.call(), S_OK);
    EXPECT_TRUE(ui.fileAnswers.empty()) << "the file dialog was shown";
    EXPECT_TRUE(ui.dialogAnswers.empty()) << "the options dialog was shown";
  }
  EXPECT_TRUE(host.Documents().empty());
  EXPECT_EQ(host.HeldReferences(), 2) << host.DescribeHeld();
}

// Wherever memory runs out in a callback, the host hears S_OK and the user
// sees one box at most: the command's own, or one saying that memory ran out
// around it.
TEST_F(AddInObject, EveryCallbackAnswersOkWhereverMemoryRunsOut) {
  if (!test_support::AllocationLimit::Available()) GTEST_SKIP() << "no allocation hook in this build";
  Connect();
  Write3ds("Data/robot.3ds", {Tetrahedron("robot")});
  CComBSTR path(L"D:\\Data\\robot.3ds");
  const CallbackCase cases[] = {
      {"Import", [&] { ui.CancelFile(); }, [&] { return my()->CTessaly_Import(); }},
      {"Open", [&] { AnswerOptions().Press(IDCANCEL); }, [&] { return my()->CMyTessaly_Open(path); }},
      {"Help", [] {}, [&] { return my()->CTessaly_Help(); }},
      {"About", [] {}, [&] { return my()->CTessaly_About(); }},
  };
  for (const CallbackCase& c : cases) {
    SCOPED_TRACE(c.what);
    int told = 0;
    test_support::FailEachAllocation(
        [&] {
          ui.events.clear();
          ui.fileAnswers.clear();
          ui.dialogAnswers.clear();
          c.script();
        },
        [&] { return c.call(); },
        [&](HRESULT hr, long long n) {
          EXPECT_EQ(hr, S_OK) << "allocation " << n << " failed";
          const auto boxes = Boxes();
          EXPECT_LE(boxes.size(), 1u) << "allocation " << n << " failed";
          if (!boxes.empty() && boxes[0] == L"Not enough memory to carry out the command") ++told;
        });
    EXPECT_GT(told, 0) << "memory ran out around the command, and the user was told";
  }
  EXPECT_TRUE(host.Documents().empty());
  EXPECT_EQ(host.HeldReferences(), 2) << host.DescribeHeld();
}

// Before a connection and after it the callbacks have no host: they still
// answer S_OK.
TEST_F(AddInObject, CallbacksWithoutAHostAnswerOk) {
  ui.CancelFile();
  EXPECT_EQ(my()->CTessaly_Import(), S_OK);
  EXPECT_EQ(my()->CTessaly_About(), S_OK);
  Connect();
  VARIANT_BOOL flag = VARIANT_FALSE;
  EXPECT_EQ(addin()->DisconnectFromSW(&flag), E_NOTIMPL);
  ui.CancelFile();
  EXPECT_EQ(my()->CMyTessaly_Open(nullptr), S_OK);
  EXPECT_EQ(my()->CTessaly_Help(), S_OK);
  EXPECT_EQ(host.HeldReferences(), 0);
}

TEST_F(AddInObject, TheHostCallsBackByName) {
  Connect();
  std::string error;
  EXPECT_EQ(host.PressCommand(L"About", &error), S_OK) << error;
  const auto about = ui.EventsOf("about");
  ASSERT_EQ(about.size(), 1u);
  EXPECT_EQ(about[0].text, L"Tessaly for SolidWorks 2013 version 1.0");

  ui.CancelFile();
  EXPECT_EQ(host.PressCommand(L"Import", &error), S_OK) << error;
  EXPECT_EQ(ui.fileDialogs.size(), 1u);

  EXPECT_EQ(host.PressCommand(L"Help", &error), S_OK) << error;
  EXPECT_EQ(Boxes(), std::vector<std::wstring>{L"Error displaying Tessaly for SolidWorks help file."});

  // The entry is chosen by the extension in any case.
  Write3ds("Data/Robot.3DS", {Tetrahedron("robot")});
  AnswerOptions().Press(IDOK);
  host.ClearCalls();
  EXPECT_EQ(host.OpenFile(L"D:\\Data\\Robot.3DS", &error), S_OK) << error;
  ASSERT_EQ(host.Documents().size(), 1u) << (Boxes().empty() ? L"" : Boxes().back()).c_str();
  EXPECT_EQ(host.Documents()[0].bodies.size(), 1u);
  const auto calls = host.Calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[0].op, "host to add-in: callback GetIDsOfNames");
  EXPECT_EQ(calls[0].args, "\"CMyTessaly_Open\"");
  EXPECT_EQ(calls[0].result, S_OK);
  EXPECT_EQ(calls[1].op, "host to add-in: callback Invoke");
  EXPECT_THAT(calls[1].args, HasSubstr("\"D:\\Data\\Robot.3DS\""));
  // Its DISPID is none of the other methods'.
  for (const char* other : {", 3,", ", 4,", ", 5,", ", 6,", ", 8,"}) EXPECT_THAT(calls[1].args, ::testing::Not(HasSubstr(other)));
  EXPECT_EQ(calls[1].result, S_OK) << calls[1].error;
}

// --- events --------------------------------------------------------------

TEST_F(AddInObject, TheFourEventsReachTheirHandlersAndOthersCallNothing) {
  CComObject<EventProbe>* probe = New<EventProbe>();
  ASSERT_TRUE(probe);
  ASSERT_EQ(host.ConnectAddIn(probe), S_OK);
  host.ClearCalls();
  for (DISPID other : {0, 1, 3, 6, 10, 13, -1, 0x7FFFFFFF}) {
    SCOPED_TRACE(other);
    EXPECT_EQ(host.FireEvent(other), S_OK);
    EXPECT_EQ(host.FireEvent(other, {L"D:\\a.3ds", 2}), S_OK);
  }
  EXPECT_TRUE(probe->handled.empty());
  EXPECT_EQ(Sink::_tih.m_pInfo, nullptr) << "not even the event descriptions were looked for";
  for (const auto& op : host.Operations()) EXPECT_EQ(op, "host to sink: event Invoke") << "no call on the host";

  EXPECT_EQ(host.FireEvent(4, {L"D:\\a.3ds"}), S_OK);
  EXPECT_EQ(host.FireEvent(5), S_OK);
  EXPECT_EQ(host.FireEvent(11), S_OK);
  CComPtr<IDispatch> dispatch = DispatchOf(app());
  EXPECT_EQ(host.FireEvent(12, {dispatch.p, 1}), S_OK);
  dispatch.Release();
  EXPECT_THAT(probe->handled, ElementsAre(L"4 D:\\a.3ds", L"5", L"11", L"12 object 1"));
  for (const auto& call : host.Calls()) EXPECT_EQ(call.result, S_OK) << call.args;
  host.UnloadAddIns();
  EXPECT_EQ(probe->Release(), 0u);
}

TEST_F(AddInObject, TheAddInsOwnHandlersAnswerOk) {
  Connect();
  EXPECT_EQ(host.FireEvent(4, {L"D:\\a.3ds"}), S_OK);
  EXPECT_EQ(host.FireEvent(5), S_OK);
  EXPECT_EQ(host.FireEvent(11), S_OK);
  CComPtr<IDispatch> dispatch = DispatchOf(app());
  EXPECT_EQ(host.FireEvent(12, {dispatch.p, 3}), S_OK);
  EXPECT_NE(Sink::_tih.m_pInfo, nullptr) << "described by the host's library";
  EXPECT_EQ(host.FireEvent(7), S_OK);
}

// --- identity ------------------------------------------------------------

TEST_F(AddInObject, QueryInterfaceOfTheObject) {
  IUnknown* unknown = my();
  struct Case {
    const char* name;
    IID iid;
    void* expected;  // null: E_NOINTERFACE
  } const cases[] = {
      {"IMyTessaly", IID_IMyTessaly, static_cast<IMyTessaly*>(object)},
      {"IDispatch", __uuidof(IDispatch), static_cast<IMyTessaly*>(object)},
      {"IUnknown", __uuidof(IUnknown), static_cast<IMyTessaly*>(object)},
      {"ISwAddin", __uuidof(SWPublished::ISwAddin), static_cast<SWPublished::ISwAddin*>(object)},
      {"the events", DIID_IHostApplicationEvents, nullptr},
      {"IBitmapHandler", IID_IBitmapHandler, nullptr},
      {"IConnectionPointContainer", __uuidof(IConnectionPointContainer), nullptr},
      {"IHostApplication", __uuidof(IHostApplication), nullptr},
      {"IClassFactory", IID_IClassFactory, nullptr},
      {"IID_NULL", IID_NULL, nullptr},
  };
  EXPECT_NE(static_cast<void*>(static_cast<SWPublished::ISwAddin*>(object)),
            static_cast<void*>(static_cast<IMyTessaly*>(object)));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    void* out = reinterpret_cast<void*>(0x1);
    const HRESULT hr = unknown->QueryInterface(c.iid, &out);
    if (c.expected) {
      EXPECT_EQ(hr, S_OK);
      EXPECT_EQ(out, c.expected);
      if (out) {
        EXPECT_EQ(static_cast<IUnknown*>(out)->Release(), 1u) << "one reference added";
      }
    } else {
      EXPECT_EQ(hr, E_NOINTERFACE);
      EXPECT_EQ(out, nullptr);
    }
  }
  // The add-in interface counts on the object.
  EXPECT_EQ(addin()->AddRef(), 2u);
  EXPECT_EQ(addin()->Release(), 1u);
  SWPublished::ISwAddin* viaAddin = nullptr;
  EXPECT_EQ(addin()->QueryInterface(IID_IMyTessaly, reinterpret_cast<void**>(&viaAddin)), S_OK);
  EXPECT_EQ(static_cast<void*>(viaAddin), static_cast<void*>(my()));
  if (viaAddin) viaAddin->Release();
}

TEST_F(AddInObject, QueryInterfaceOfTheSink) {
  IDispatch* sink = object->GetSinkDispatch();
  ASSERT_TRUE(sink);
  EXPECT_NE(static_cast<void*>(sink), static_cast<void*>(my()));
  struct Case {
    const char* name;
    IID iid;
    bool answered;
  } const cases[] = {
      {"IUnknown", __uuidof(IUnknown), true},
      {"IDispatch", __uuidof(IDispatch), true},
      {"the events", DIID_IHostApplicationEvents, true},
      {"IID_NULL", IID_NULL, false},
      {"IMyTessaly", IID_IMyTessaly, false},
      {"ISwAddin", __uuidof(SWPublished::ISwAddin), false},
      {"IConnectionPoint", __uuidof(IConnectionPoint), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    void* out = reinterpret_cast<void*>(0x1);
    const HRESULT hr = sink->QueryInterface(c.iid, &out);
    EXPECT_EQ(hr, c.answered ? S_OK : E_NOINTERFACE);
    EXPECT_EQ(out, c.answered ? static_cast<void*>(sink) : nullptr);
    // The sink's references are the object's.
    if (c.answered && out) {
      EXPECT_EQ(object->AddRef(), 3u);
      object->Release();
      EXPECT_EQ(static_cast<IUnknown*>(out)->Release(), 1u);
    }
  }
  EXPECT_EQ(sink->QueryInterface(__uuidof(IUnknown), nullptr), E_POINTER);
  EXPECT_EQ(sink->AddRef(), 2u);
  EXPECT_EQ(my()->Release(), 1u);
}

}  // namespace
