// The command manager: groups, their images and items, tabs and boxes; the
// Open-dialog entries and the calls back by name.
#include "addin_fixture.h"

#include <stdexcept>

using stand_in::CommandGroup;
using stand_in::CommandTab;

namespace {

// Which image setter, and what it wants.
enum class Image { SmallList, LargeList, SmallMain, LargeMain };
HRESULT SetImage(IHostCommandGroup* g, Image which, BSTR path) {
  switch (which) {
    case Image::SmallList: return g->SetSmallIconList(path);
    case Image::LargeList: return g->SetLargeIconList(path);
    case Image::SmallMain: return g->SetSmallMainIcon(path);
    case Image::LargeMain: return g->SetLargeMainIcon(path);
  }
  return E_UNEXPECTED;
}
const stand_in::Icon& IconOf(const CommandGroup& g, Image which) {
  switch (which) {
    case Image::SmallList: return g.smallIcons;
    case Image::LargeList: return g.largeIcons;
    case Image::SmallMain: return g.smallMain;
    case Image::LargeMain: return g.largeMain;
  }
  return g.smallIcons;
}

}  // namespace

TEST_F(AddInTest, CommandManagerIsOnePerAddInAndRefusesUnknownCookies) {
  const LONG cookie = Connect(addin);
  ASSERT_TRUE(addin.manager);
  CComPtr<IHostCommandManager> again;
  EXPECT_EQ(app()->GetCommandManager(cookie, &again), S_OK);
  EXPECT_EQ(again.p, addin.manager.p);

  CComPtr<IHostCommandManager> none;
  EXPECT_EQ(app()->GetCommandManager(cookie + 100, &none), E_INVALIDARG);
  EXPECT_FALSE(none);
  EXPECT_NE(host.Calls().back().error.find("names no loaded add-in"), std::string::npos);
  EXPECT_EQ(app()->GetCommandManager(cookie, nullptr), E_POINTER);
  EXPECT_EQ(host.CallbackObject(cookie), static_cast<IDispatch*>(&addin));
}

TEST_F(AddInTest, IconsAreReadFromTheirFilesAndCheckedForSize) {
  Connect(addin);
  struct Case {
    Image which;
    int width, height;
    bool accepted;
  } const cases[] = {
      {Image::SmallList, 64, 16, true},  {Image::SmallList, 16, 16, true}, {Image::SmallList, 60, 16, false},
      {Image::SmallList, 64, 24, false}, {Image::LargeList, 96, 24, true}, {Image::LargeList, 96, 16, false},
      {Image::LargeList, 100, 24, false}, {Image::SmallMain, 16, 16, true}, {Image::SmallMain, 32, 16, false},
      {Image::SmallMain, 24, 24, false}, {Image::LargeMain, 24, 24, true}, {Image::LargeMain, 48, 24, false},
      {Image::LargeMain, 16, 16, false}, {Image::SmallList, 64, -16, true},  // top-down rows
  };
  LONG id = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "image " << static_cast<int>(c.which) << ", " << c.width << "x" << c.height);
    CComPtr<IHostCommandGroup> group = Group(addin, id, {}, false);
    const std::wstring path = Bmp("icon" + std::to_string(id) + ".bmp", c.width, c.height);
    EXPECT_EQ(SetImage(group, c.which, CComBSTR(path.c_str())), c.accepted ? S_OK : E_FAIL);
    const CommandGroup& model = host.FindCommandManager(addin.cookie)->groups.back();
    const stand_in::Icon& icon = IconOf(model, c.which);
    if (c.accepted) {
      EXPECT_EQ(icon.width, c.width);
      EXPECT_EQ(icon.height, std::abs(c.height));
      EXPECT_EQ(icon.path, path);
    } else {
      EXPECT_EQ(icon.width, 0);
      EXPECT_TRUE(icon.path.empty());
      EXPECT_NE(host.Calls().back().error.find("not"), std::string::npos) << host.Calls().back().error;
    }
    ++id;
  }
}

TEST_F(AddInTest, UnreadableImagesAreRefusedAndLeaveNoIcon) {
  Connect(addin);
  CComPtr<IHostCommandGroup> group = Group(addin, 1, {}, false);
  const CommandGroup& model = host.FindCommandManager(addin.cookie)->groups.back();
  ASSERT_EQ(group->SetSmallMainIcon(CComBSTR(Bmp("good.bmp", 16, 16).c_str())), S_OK);
  ASSERT_EQ(model.smallMain.width, 16);

  struct Case {
    const char* what;
    std::wstring path;
  } const cases[] = {
      {"missing file", stand_in::WindowsPath((root / "none.bmp").string())},
      {"not a BMP", File("text.bmp", std::string(200, 'x'))},
      {"pixels cut short", Bmp("cut.bmp", 16, 16, 10)},
      {"empty file", File("empty.bmp", "")},
      {"a folder", stand_in::WindowsPath(root.string())},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(group->SetSmallMainIcon(CComBSTR(Bmp("good.bmp", 16, 16).c_str())), S_OK);
    EXPECT_EQ(group->SetSmallMainIcon(CComBSTR(c.path.c_str())), E_FAIL);
    EXPECT_EQ(model.smallMain.width, 0);  // the earlier image is gone too
    EXPECT_FALSE(host.Calls().back().error.empty());
  }
  EXPECT_EQ(group->SetSmallMainIcon(nullptr), E_FAIL);
  EXPECT_EQ(host.Calls().back().error, "the image path is null");
}

TEST_F(AddInTest, CommandIdsComeWithActivate) {
  Connect(addin);
  std::vector<LONG> indexes;
  CComPtr<IHostCommandGroup> group = Group(addin, 1, {L"Import", L"Help", L"About"}, false, &indexes);
  EXPECT_EQ(indexes, (std::vector<LONG>{0, 1, 2}));
  LONG id = 99;
  EXPECT_EQ(group->GetCommandId(0, &id), E_FAIL);
  EXPECT_EQ(id, 0);
  EXPECT_NE(host.Calls().back().error.find("not activated"), std::string::npos);

  VARIANT_BOOL ok = VARIANT_FALSE;
  ASSERT_EQ(group->Activate(&ok), S_OK);
  EXPECT_EQ(ok, VARIANT_TRUE);
  std::vector<LONG> ids;
  for (LONG index : indexes) {
    ASSERT_EQ(group->GetCommandId(index, &id), S_OK);
    ids.push_back(id);
  }
  EXPECT_NE(ids[0], ids[1]);
  EXPECT_NE(ids[1], ids[2]);
  EXPECT_NE(ids[0], 0);
  const auto& items = host.FindCommandManager(addin.cookie)->groups.back().items;
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(items[i].commandId, ids[i]);
  EXPECT_EQ(items[1].name, L"Help");
  EXPECT_EQ(items[1].callback, L"OnHelp");
  EXPECT_EQ(items[1].imageIndex, 1);
  EXPECT_EQ(items[1].options, 3);

  // Once activated the group takes no more items and no second Activate.
  LONG index = 7;
  EXPECT_EQ(group->AddCommandItem(CComBSTR(L"Late"), -1, nullptr, nullptr, 0, CComBSTR(L"OnLate"), nullptr, 0, 0,
                                  &index),
            E_FAIL);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(group->Activate(&ok), E_FAIL);
  EXPECT_EQ(ok, VARIANT_FALSE);
  for (LONG bad : {-1, 3, 1000}) EXPECT_EQ(group->GetCommandId(bad, &id), E_INVALIDARG) << bad;
}

TEST_F(AddInTest, GroupsAreByUserIdAndRemovedWithTheirItems) {
  Connect(addin);
  CComPtr<IHostCommandGroup> group = Group(addin, 1, {L"Import"});
  CComPtr<IHostCommandGroup> twin;
  EXPECT_EQ(addin.manager->CreateCommandGroup(1, CComBSTR(L"Again"), nullptr, nullptr, -1, &twin), E_FAIL);
  EXPECT_FALSE(twin);
  EXPECT_EQ(addin.manager->CreateCommandGroup(2, nullptr, nullptr, nullptr, -1, &twin), E_INVALIDARG);

  VARIANT_BOOL ok = VARIANT_FALSE;
  EXPECT_EQ(addin.manager->RemoveCommandGroup(1, &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_TRUE);
  EXPECT_TRUE(host.FindCommandManager(addin.cookie)->groups.empty());
  EXPECT_EQ(addin.manager->RemoveCommandGroup(1, &ok), E_FAIL);
  EXPECT_EQ(ok, VARIANT_FALSE);
  // A group still held after its removal refuses every call.
  LONG id = 0;
  EXPECT_EQ(group->GetCommandId(0, &id), E_FAIL);
  EXPECT_NE(host.Calls().back().error.find("was removed"), std::string::npos);
  // Its id is free again.
  CComPtr<IHostCommandGroup> anew = Group(addin, 1, {L"Import"});
  EXPECT_TRUE(anew);
}

TEST_F(AddInTest, TabsBelongToTheHostAndOutliveTheGroup) {
  Connect(addin);
  std::vector<LONG> indexes;
  CComPtr<IHostCommandGroup> group = Group(addin, 1, {L"Import", L"Help"}, true, &indexes);
  LONG ids[2];
  for (int i = 0; i < 2; ++i) ASSERT_EQ(group->GetCommandId(indexes[i], &ids[i]), S_OK);

  CComPtr<IHostCommandTab> tab;
  EXPECT_EQ(addin.manager->GetCommandTab(hostDocASSEMBLY, CComBSTR(L"Tessaly"), &tab), S_OK);
  EXPECT_FALSE(tab);  // none yet
  ASSERT_EQ(addin.manager->AddCommandTab(hostDocASSEMBLY, CComBSTR(L"Tessaly"), &tab), S_OK);
  CComPtr<IHostCommandTab> twin;
  EXPECT_EQ(addin.manager->AddCommandTab(hostDocASSEMBLY, CComBSTR(L"Tessaly"), &twin), E_FAIL);
  EXPECT_FALSE(twin);
  EXPECT_NE(host.Calls().back().error.find("already has a tab"), std::string::npos);
  CComPtr<IHostCommandTabBox> box;
  ASSERT_EQ(tab->AddTabBox(&box), S_OK);
  const LONG text[2] = {hostTabTextBeside, hostTabTextBeside};
  VARIANT_BOOL ok = VARIANT_FALSE;
  ASSERT_EQ(box->AddCommands(2, ids, text, &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_TRUE);

  VARIANT_BOOL removed = VARIANT_FALSE;
  ASSERT_EQ(addin.manager->RemoveCommandGroup(1, &removed), S_OK);
  ASSERT_EQ(host.CommandTabs().size(), 1u);
  const CommandTab& kept = host.CommandTabs()[0];
  EXPECT_EQ(kept.documentType, hostDocASSEMBLY);
  EXPECT_EQ(kept.name, L"Tessaly");
  ASSERT_EQ(kept.boxes.size(), 1u);
  EXPECT_EQ(kept.boxes[0].commandIds, (std::vector<LONG>{ids[0], ids[1]}));
  EXPECT_EQ(kept.boxes[0].textTypes, (std::vector<LONG>{2, 2}));

  // The same tab is found again, and by another add-in's manager too.
  CComPtr<IHostCommandTab> found;
  EXPECT_EQ(addin.manager->GetCommandTab(hostDocASSEMBLY, CComBSTR(L"Tessaly"), &found), S_OK);
  EXPECT_EQ(found.p, tab.p);
  FakeAddIn other;
  Connect(other);
  CComPtr<IHostCommandTab> seen;
  EXPECT_EQ(other.manager->GetCommandTab(hostDocASSEMBLY, CComBSTR(L"Tessaly"), &seen), S_OK);
  EXPECT_EQ(seen.p, tab.p);
  CComPtr<IHostCommandTab> elsewhere;
  EXPECT_EQ(other.manager->GetCommandTab(hostDocPART, CComBSTR(L"Tessaly"), &elsewhere), S_OK);
  EXPECT_FALSE(elsewhere);
  seen.Release();
  found.Release();
  box.Release();
  tab.Release();
  group.Release();
  host.UnloadAddIns();
  EXPECT_EQ(other.refs, 1u);
}

TEST_F(AddInTest, DocumentTypesAreOneToThree) {
  Connect(addin);
  LONG result = -1;
  for (LONG type : {1, 2, 3}) {
    EXPECT_EQ(addin.manager->QueryDocumentType(type, &result), S_OK);
    EXPECT_EQ(result, type);
  }
  for (LONG type : {0, 4, -1}) {
    CComPtr<IHostCommandTab> tab;
    EXPECT_EQ(addin.manager->QueryDocumentType(type, &result), E_INVALIDARG) << type;
    EXPECT_EQ(result, 0);
    EXPECT_EQ(addin.manager->AddCommandTab(type, CComBSTR(L"T"), &tab), E_INVALIDARG) << type;
    EXPECT_EQ(addin.manager->GetCommandTab(type, CComBSTR(L"T"), &tab), E_INVALIDARG) << type;
  }
  EXPECT_TRUE(host.CommandTabs().empty());
}

TEST_F(AddInTest, BoxesTakeOnlyCommandIdsOfActivatedGroups) {
  Connect(addin);
  CComPtr<IHostCommandGroup> group = Group(addin, 1, {L"Import"});
  LONG id = 0;
  ASSERT_EQ(group->GetCommandId(0, &id), S_OK);
  CComPtr<IHostCommandGroup> idle = Group(addin, 2, {L"Idle"}, false);
  CComPtr<IHostCommandTab> tab;
  ASSERT_EQ(addin.manager->AddCommandTab(hostDocPART, CComBSTR(L"Tessaly"), &tab), S_OK);
  CComPtr<IHostCommandTabBox> box;
  ASSERT_EQ(tab->AddTabBox(&box), S_OK);
  VARIANT_BOOL ok = VARIANT_TRUE;
  const LONG two[1] = {2};
  struct Case {
    const char* what;
    LONG count;
    std::vector<LONG> ids, text;
  } const cases[] = {
      {"an item index, not an id", 1, {0}, {2}},
      {"an unknown id", 1, {id + 1000}, {2}},
      {"a good id, then a bad one", 2, {id, id + 1000}, {2, 2}},
      {"a text type out of range", 1, {id}, {3}},
      {"no commands", 0, {}, {}},
      {"a negative count", -5, {}, {}},
      {"a hostile count", 0x7FFFFFFF, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(box->AddCommands(c.count, c.ids.empty() ? two : c.ids.data(), c.text.empty() ? two : c.text.data(), &ok),
              E_INVALIDARG);
    EXPECT_EQ(ok, VARIANT_FALSE);
    EXPECT_FALSE(host.Calls().back().error.empty());
  }
  EXPECT_EQ(box->AddCommands(1, nullptr, two, &ok), E_INVALIDARG);
  EXPECT_TRUE(host.CommandTabs()[0].boxes[0].commandIds.empty());  // nothing half added
  EXPECT_EQ(box->AddCommands(1, &id, two, &ok), S_OK);
  EXPECT_EQ(host.CommandTabs()[0].boxes[0].commandIds, (std::vector<LONG>{id}));
  EXPECT_EQ(host.Calls().back().args, "1, [" + std::to_string(id) + "], [2]");
}

TEST_F(AddInTest, OpenDialogCallsTheEntrysCallbackByNameWithThePath) {
  addin.onConnect = [](FakeAddIn& a) {
    VARIANT_BOOL ok = VARIANT_FALSE;
    EXPECT_EQ(a.app->AddFileOpenItem(a.cookie, CComBSTR(L"OnOpen"), CComBSTR(L"Mesh files (*.3ds)"),
                                     CComBSTR(L"3ds"), CComBSTR(L""), CComBSTR(L""), &ok),
              S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
  };
  const LONG cookie = Connect(addin);
  ASSERT_EQ(host.FileOpenEntries().size(), 1u);
  EXPECT_EQ(host.FileOpenEntries()[0].cookie, cookie);
  EXPECT_EQ(host.FileOpenEntries()[0].description, L"Mesh files (*.3ds)");

  host.ClearCalls();
  std::string error;
  EXPECT_EQ(host.OpenFile(L"D:\\models\\Cube.3DS", &error), S_OK) << error;
  ASSERT_EQ(addin.calls.size(), 1u);
  EXPECT_EQ(addin.calls[0].name, L"OnOpen");
  EXPECT_EQ(addin.calls[0].args, (std::vector<std::wstring>{L"\"D:\\models\\Cube.3DS\""}));
  EXPECT_EQ(host.Operations(), (std::vector<std::string>{"host to add-in: callback GetIDsOfNames",
                                                         "host to add-in: callback Invoke"}));

  // The callback's own answer comes back.
  addin.invokeAnswer = E_ABORT;
  EXPECT_EQ(host.OpenFile(L"x.3ds", &error), E_ABORT);
  EXPECT_NE(error.find("\"OnOpen\""), std::string::npos) << error;

  struct Case {
    const wchar_t* path;
    const char* says;
  } const cases[] = {
      {L"D:\\models\\cube.obj", "no entry for files of type .obj"},
      {L"D:\\models.3ds\\cube", "has no extension"},
      {L"D:\\models\\cube.", "has no extension"},
  };
  for (const Case& c : cases) {
    EXPECT_NE(host.OpenFile(c.path, &error), S_OK);
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
  }
  EXPECT_EQ(addin.calls.size(), 2u);

  // An entry whose callback the object does not know.
  addin.names.erase(L"OnOpen");
  EXPECT_EQ(host.OpenFile(L"x.3ds", &error), DISP_E_UNKNOWNNAME);
  EXPECT_NE(error.find("does not resolve \"OnOpen\""), std::string::npos) << error;

  // Removed, the entry opens nothing.
  VARIANT_BOOL ok = VARIANT_FALSE;
  EXPECT_EQ(app()->RemoveFileOpenItem(cookie, CComBSTR(L"OnOpen"), CComBSTR(L"Mesh files (*.3ds)"),
                                      CComBSTR(L"3dsx"), &ok),
            E_FAIL);
  EXPECT_EQ(app()->RemoveFileOpenItem(cookie, CComBSTR(L"OnOpen"), CComBSTR(L"Mesh files (*.3ds)"), CComBSTR(L"3ds"),
                                      &ok),
            S_OK);
  EXPECT_EQ(ok, VARIANT_TRUE);
  EXPECT_TRUE(host.FileOpenEntries().empty());
  EXPECT_EQ(host.OpenFile(L"x.3ds", &error), E_FAIL);
}

TEST_F(AddInTest, FileOpenEntriesAreCheckedAndNotDoubled) {
  const LONG cookie = Connect(addin);
  VARIANT_BOOL ok = VARIANT_TRUE;
  auto add = [&](const wchar_t* callback, const wchar_t* description, const wchar_t* extension, LONG who) {
    return app()->AddFileOpenItem(who, callback ? CComBSTR(callback) : CComBSTR(), CComBSTR(description),
                                  CComBSTR(extension), CComBSTR(L""), CComBSTR(L""), &ok);
  };
  EXPECT_EQ(add(L"OnOpen", L"Meshes", L"3ds", cookie), S_OK);
  EXPECT_EQ(add(L"OnOpen", L"Meshes", L"3ds", cookie), E_FAIL);
  EXPECT_EQ(ok, VARIANT_FALSE);
  EXPECT_EQ(add(nullptr, L"Meshes", L"3ds", cookie), E_INVALIDARG);
  EXPECT_EQ(add(L"OnOpen", L"Meshes", L"", cookie), E_INVALIDARG);
  EXPECT_EQ(add(L"OnOpen", L"Meshes", L"*.", cookie), E_INVALIDARG);
  EXPECT_EQ(add(L"OnOpen", L"Meshes", L"obj", cookie + 1), E_INVALIDARG);
  EXPECT_EQ(host.FileOpenEntries().size(), 1u);
}

TEST_F(AddInTest, CommandButtonsCallTheirItemsCallback) {
  CComPtr<IHostCommandGroup> group;
  addin.onConnect = [&](FakeAddIn& a) { group = Group(a, 1, {L"Import", L"Help"}); };
  Connect(addin);
  std::string error;
  EXPECT_EQ(host.PressCommand(L"Help", &error), S_OK) << error;
  ASSERT_EQ(addin.calls.size(), 1u);
  EXPECT_EQ(addin.calls[0].name, L"OnHelp");
  EXPECT_TRUE(addin.calls[0].args.empty());

  EXPECT_EQ(host.PressCommand(L"About", &error), E_FAIL);
  EXPECT_NE(error.find("no activated command group has a command \"About\""), std::string::npos) << error;
  CComPtr<IHostCommandGroup> idle = Group(addin, 2, {L"Later"}, false);
  EXPECT_EQ(host.PressCommand(L"Later", &error), E_FAIL);  // not activated: no button yet
  VARIANT_BOOL ok;
  addin.manager->RemoveCommandGroup(1, &ok);
  EXPECT_EQ(host.PressCommand(L"Help", &error), E_FAIL);
  EXPECT_EQ(addin.calls.size(), 1u);
}

TEST_F(AddInTest, CallbackObjectIsHeldUntilTheAddInIsUnloaded) {
  FakeAddIn callbacks;  // a separate callback object
  addin.onConnect = [&](FakeAddIn& a) {
    VARIANT_BOOL ok = VARIANT_FALSE;
    EXPECT_EQ(a.app->RegisterCallbackObject(0, static_cast<IDispatch*>(&callbacks), a.cookie, &ok), S_OK);
    EXPECT_EQ(a.app->RegisterCallbackObject(0, nullptr, a.cookie, &ok), E_INVALIDARG);
  };
  const LONG cookie = Connect(addin);
  EXPECT_EQ(callbacks.refs, 2u);  // the host's
  EXPECT_EQ(addin.refs, 2u);      // the host holds the add-in, no longer as its callbacks
  EXPECT_EQ(host.CallbackObject(cookie), static_cast<IDispatch*>(&callbacks));
  host.UnloadAddIns();
  EXPECT_EQ(callbacks.refs, 1u);
  EXPECT_EQ(host.CallbackObject(cookie), nullptr);
  EXPECT_EQ(addin.disconnects, 1);
  // Unloaded, the cookie names nothing.
  CComPtr<IHostCommandManager> manager;
  EXPECT_EQ(app()->GetCommandManager(cookie, &manager), E_INVALIDARG);
}

TEST_F(AddInTest, AFailedConnectionIsLetGo) {
  addin.connectAnswer = VARIANT_FALSE;
  LONG cookie = 5;
  EXPECT_EQ(host.ConnectAddIn(&addin, &cookie), E_FAIL);
  EXPECT_EQ(cookie, 0);
  ASSERT_EQ(host.AddIns().size(), 1u);
  EXPECT_FALSE(host.AddIns()[0].connected);
  EXPECT_NE(host.AddIns()[0].error.find("not connected"), std::string::npos);
  EXPECT_EQ(host.CallbackObject(addin.cookie), nullptr);
  addin.manager.Release();
  addin.app.Release();
  EXPECT_EQ(addin.refs, 1u);
  host.UnloadAddIns();
  EXPECT_EQ(addin.disconnects, 0);  // never connected, never disconnected
  EXPECT_EQ(host.ConnectAddIn(nullptr), E_POINTER);
}

TEST_F(AddInTest, ReferencesTheAddInGotAreCountedAndNoneIsLeftAfterUnload) {
  host.RecordUnknownCalls(true);
  CComPtr<IHostCommandGroup> group;
  CComPtr<IHostCommandTab> tab;
  CComPtr<IHostCommandTabBox> box;
  addin.onConnect = [&](FakeAddIn& a) {
    group = Group(a, 1, {L"Import"});
    a.manager->AddCommandTab(hostDocPART, CComBSTR(L"Tessaly"), &tab);
    tab->AddTabBox(&box);
  };
  Connect(addin);
  // Application, manager, group, tab and box.
  EXPECT_EQ(host.HeldReferences(), 5) << host.DescribeHeld();
  box.Release();
  tab.Release();
  group.Release();
  EXPECT_EQ(host.HeldReferences(), 2) << host.DescribeHeld();
  host.UnloadAddIns();
  EXPECT_EQ(host.HeldReferences(), 0) << host.DescribeHeld();
  EXPECT_EQ(addin.refs, 1u);
  // Every release the add-in made went through a role it was given.
  for (const auto& c : host.Calls())
    if (c.op == "IUnknown::Release") {
      EXPECT_TRUE(c.error.empty()) << c.args;
    }
}

TEST_F(AddInTest, CommandCallsAreRecordedAndFaultable) {
  Connect(addin);
  host.InjectFault("IHostCommandGroup::Activate", 1, E_FAIL);
  host.InjectFault("IHostCommandManager::GetCommandTab", 1, S_OK);
  CComPtr<IHostCommandGroup> group = Group(addin, 1, {L"Import"}, false);
  VARIANT_BOOL ok = VARIANT_TRUE;
  EXPECT_EQ(group->Activate(&ok), E_FAIL);
  EXPECT_EQ(ok, VARIANT_FALSE);
  LONG id = 0;
  EXPECT_EQ(group->GetCommandId(0, &id), E_FAIL);  // the faulted Activate did nothing
  EXPECT_EQ(group->Activate(&ok), S_OK);
  CComPtr<IHostCommandTab> tab;
  ASSERT_EQ(addin.manager->AddCommandTab(hostDocPART, CComBSTR(L"T"), &tab), S_OK);
  CComPtr<IHostCommandTab> found;
  EXPECT_EQ(addin.manager->GetCommandTab(hostDocPART, CComBSTR(L"T"), &found), S_OK);
  EXPECT_FALSE(found);  // a null result planted
  const std::vector<stand_in::Call> calls = host.Calls();
  const stand_in::Call* add = nullptr;
  for (const auto& c : calls)
    if (c.op == "IHostCommandGroup::AddCommandItem") add = &c;
  ASSERT_TRUE(add);
  EXPECT_EQ(add->args, "\"Import\", -1, \"hint\", \"Import\", 0, \"OnImport\", \"\", 0, 3");
  EXPECT_EQ(calls.front().op, "host to add-in: ISwAddin::ConnectToSW");
  EXPECT_EQ(calls.front().args, "application as IDispatch, 1");

  for (const char* op : {"host to add-in: ISwAddin::ConnectToSW", "host to sink: event Invoke"})
    EXPECT_THROW(host.InjectFault(op, 1, E_FAIL), std::invalid_argument) << op;
}

TEST_F(AddInTest, DescribeShowsTheCommands) {
  addin.onConnect = [&](FakeAddIn& a) {
    CComPtr<IHostCommandGroup> group = Group(a, 1, {L"Import"}, false);
    group->SetSmallIconList(CComBSTR(Bmp("s.bmp", 64, 16).c_str()));
    VARIANT_BOOL ok;
    group->Activate(&ok);
    LONG id = 0;
    group->GetCommandId(0, &id);
    CComPtr<IHostCommandTab> tab;
    a.manager->AddCommandTab(hostDocDRAWING, CComBSTR(L"Tessaly"), &tab);
    CComPtr<IHostCommandTabBox> box;
    tab->AddTabBox(&box);
    const LONG text = 2;
    box->AddCommands(1, &id, &text, &ok);
    a.app->AddFileOpenItem(a.cookie, CComBSTR(L"OnOpen"), CComBSTR(L"Meshes"), CComBSTR(L"3ds"), nullptr, nullptr,
                           &ok);
  };
  Connect(addin);
  const std::string text = host.Describe();
  for (const char* line :
       {"Add-in 1 {00000000-0000-0000-0000-000000000000}: connected", "Callback object of add-in 1",
        "  group 1 \"Tools\", active, 1 item", "    small icons: 64x16 from", "    large icons: none",
        "    item 0 \"Import\", image 0, calls \"OnImport\", command 32001", "Tab \"Tessaly\" of drawing documents: 1 box",
        "  box 1: 32001\n", "Open dialog: \"Meshes\" (.3ds) calls \"OnOpen\" of add-in 1"})
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  VARIANT_BOOL ok;
  addin.manager->RemoveCommandGroup(1, &ok);
  EXPECT_NE(host.Describe().find("  box 1: 32001 (removed)"), std::string::npos) << host.Describe();
}
