// A host with add-ins of the test's own: a fake add-in that is also its own
// callback object, a fake event sink, image files, and a registry and
// folder of the test's own.
#pragma once

#include "fixture.h"
#include "stand_in/paths.h"

#include <ocidl.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

// A VARIANT argument as text: "text", numbers as they are, "object".
inline std::wstring ArgText(const VARIANT& v) {
  switch (v.vt) {
    case VT_BSTR: return v.bstrVal ? std::wstring(L"\"") + v.bstrVal + L"\"" : L"null";
    case VT_I4: return std::to_wstring(v.lVal);
    case VT_DISPATCH: return v.pdispVal ? L"object" : L"null";
  }
  return L"type " + std::to_wstring(v.vt);
}

// The test holds the one reference it starts with; the host's come and go.
class FakeAddIn final : public SWPublished::ISwAddin, public IDispatch {
 public:
  struct Called {
    std::wstring name;
    std::vector<std::wstring> args;
  };

  // IUnknown, for both bases.
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid == __uuidof(IUnknown) || iid == __uuidof(SWPublished::ISwAddin))
      *object = static_cast<SWPublished::ISwAddin*>(this);
    else if (iid == __uuidof(IDispatch))
      *object = static_cast<IDispatch*>(this);
    else
      return E_NOINTERFACE;
    ++refs;
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override {
    if (refs == 0) ++overReleases;
    else --refs;
    return refs;
  }

  // ISwAddin: takes the application and its command manager, registers
  // itself as the callback object, then runs the test's own set-up.
  STDMETHODIMP ConnectToSW(IDispatch* thisSW, LONG cookie, VARIANT_BOOL* connected) override {
    ++connects;
    *connected = VARIANT_FALSE;
    this->cookie = cookie;
    if (FAILED(thisSW->QueryInterface(__uuidof(IHostApplication), reinterpret_cast<void**>(&app)))) return E_FAIL;
    app->GetCommandManager(cookie, &manager);
    VARIANT_BOOL ok = VARIANT_FALSE;
    app->RegisterCallbackObject(0x1000, static_cast<IDispatch*>(this), cookie, &ok);
    if (onConnect) onConnect(*this);
    *connected = connectAnswer;
    return S_OK;
  }
  STDMETHODIMP DisconnectFromSW(VARIANT_BOOL* done) override {
    ++disconnects;
    if (onDisconnect) onDisconnect(*this);
    manager.Release();
    app.Release();
    *done = VARIANT_TRUE;
    return E_NOTIMPL;
  }

  // IDispatch: the callbacks, by the names in `names`.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* list, UINT count, LCID, DISPID* ids) override {
    if (count != 1) return E_INVALIDARG;
    const auto it = names.find(list[0]);
    if (it == names.end()) {
      ids[0] = DISPID_UNKNOWN;
      return DISP_E_UNKNOWNNAME;
    }
    ids[0] = it->second;
    return S_OK;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    if (flags != DISPATCH_METHOD) return DISP_E_MEMBERNOTFOUND;
    for (const auto& [name, dispid] : names) {
      if (dispid != id) continue;
      Called c{name, {}};
      for (UINT i = params->cArgs; i-- > 0;) c.args.push_back(ArgText(params->rgvarg[i]));
      calls.push_back(c);
      return invokeAnswer;
    }
    return DISP_E_MEMBERNOTFOUND;
  }

  ULONG refs = 1;
  long overReleases = 0;
  int connects = 0, disconnects = 0;
  LONG cookie = 0;
  VARIANT_BOOL connectAnswer = VARIANT_TRUE;
  HRESULT invokeAnswer = S_OK;
  CComPtr<IHostApplication> app;
  CComPtr<IHostCommandManager> manager;
  std::function<void(FakeAddIn&)> onConnect, onDisconnect;
  std::map<std::wstring, DISPID> names{{L"OnOpen", 7}, {L"OnImport", 5}, {L"OnHelp", 6}};
  std::vector<Called> calls;
};

// A sink of the application's events; `asEvents` false makes it one that
// does not answer for the events' interface.
class FakeSink final : public IDispatch {
 public:
  struct Event {
    DISPID id;
    std::vector<std::wstring> args;
  };
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || (asEvents && iid == DIID_IHostApplicationEvents)) {
      *object = static_cast<IDispatch*>(this);
      ++refs;
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return refs ? --refs : 0; }
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    Event e{id, {}};
    for (UINT i = params->cArgs; i-- > 0;) e.args.push_back(ArgText(params->rgvarg[i]));
    events.push_back(e);
    return answer;
  }

  ULONG refs = 1;
  bool asEvents = true;
  HRESULT answer = S_OK;
  std::vector<Event> events;
};

class AddInTest : public HostTest {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root = std::filesystem::temp_directory_path() / ("tessaly-hostcmd-" + std::string(info->test_suite_name()) + "-" +
                                                     info->name() + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    setenv("TESSALY_REGISTRY", (root / "registry.txt").c_str(), 1);
  }
  void TearDown() override {
    // The fakes go before the host does: unload them while they live.
    host.UnloadAddIns();
    EXPECT_EQ(host.HeldReferences(), 0) << host.DescribeHeld();
    EXPECT_EQ(host.OverReleases(), 0);
    EXPECT_EQ(addin.refs, 1u);
    EXPECT_EQ(addin.overReleases, 0);
    HostTest::TearDown();
    unsetenv("TESSALY_REGISTRY");
    std::filesystem::remove_all(root);
  }

  // Connects `addin`; its cookie.
  LONG Connect(FakeAddIn& a) {
    LONG cookie = 0;
    EXPECT_EQ(host.ConnectAddIn(&a, &cookie), S_OK);
    return cookie;
  }

  // A BMP file of the size given, 24 bits a pixel; `cut` bytes short.
  std::wstring Bmp(const std::string& name, int width, int height, size_t cut = 0) {
    const uint32_t stride = static_cast<uint32_t>((width * 24 + 31) / 32 * 4);
    const uint32_t pixels = stride * static_cast<uint32_t>(height < 0 ? -height : height);
    std::string data = "BM";
    auto u32 = [&](uint32_t v) {
      for (int i = 0; i < 4; ++i) data += static_cast<char>(v >> (8 * i) & 0xFF);
    };
    auto u16 = [&](uint16_t v) {
      data += static_cast<char>(v & 0xFF);
      data += static_cast<char>(v >> 8);
    };
    u32(54 + pixels);
    u32(0);
    u32(54);
    u32(40);
    u32(static_cast<uint32_t>(width));
    u32(static_cast<uint32_t>(height));
    u16(1);
    u16(24);
    u32(0);
    u32(pixels);
    u32(2835);
    u32(2835);
    u32(0);
    u32(0);
    data.append(pixels, '\x7f');
    data.resize(data.size() - cut);
    return File(name, data);
  }
  std::wstring File(const std::string& name, const std::string& bytes) {
    const auto path = root / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return stand_in::WindowsPath(path.string());
  }

  // A group made through the add-in's manager, with `items` named items
  // calling "On" + name.
  CComPtr<IHostCommandGroup> Group(FakeAddIn& a, LONG userId, const std::vector<std::wstring>& items,
                                   bool activate = true, std::vector<LONG>* indexes = nullptr) {
    CComPtr<IHostCommandGroup> group;
    EXPECT_EQ(a.manager->CreateCommandGroup(userId, CComBSTR(L"Tools"), CComBSTR(L"tip"), CComBSTR(L"hint"), -1,
                                            &group),
              S_OK);
    if (!group) return group;
    for (size_t i = 0; i < items.size(); ++i) {
      LONG index = -1;
      EXPECT_EQ(group->AddCommandItem(CComBSTR(items[i].c_str()), -1, CComBSTR(L"hint"), CComBSTR(items[i].c_str()),
                                      static_cast<LONG>(i), CComBSTR((L"On" + items[i]).c_str()), CComBSTR(L""), 0,
                                      3, &index),
                S_OK);
      if (indexes) indexes->push_back(index);
    }
    if (activate) {
      VARIANT_BOOL ok = VARIANT_FALSE;
      EXPECT_EQ(group->Activate(&ok), S_OK);
    }
    return group;
  }

  std::filesystem::path root;
  FakeAddIn addin;
};
