// Add-ins: the cookies, callback objects and Open-dialog entries the host
// keeps for them, the application as IDispatch and as the container of its
// events, loading add-ins the host's way and calling them back by name.
#include "state.h"

#include "stand_in/errors.h"
#include "stand_in/paths.h"
#include "stand_in/registry.h"
#include "stand_in/text.h"

#include <objbase.h>
#include <winnls.h>

#include <algorithm>
#include <atomic>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace SldWorks {
const GUID LIBID_SldWorks = stand_in::GuidFromText("83A33D31-27C5-11CE-BFD4-00400513BB57");
}
const IID DIID_IHostApplicationEvents = stand_in::GuidFromText("83A33D22-37C5-11CE-BFD4-00400513BB57");

namespace stand_in {

// The host's type library as widl compiled it (HostEvents.idl).
extern const unsigned char kHostEventsTlb[];
extern const size_t kHostEventsTlb_size;

namespace {

std::string Quoted(const std::wstring& text) { return "\"" + ToUtf8(text) + "\""; }

std::string GuidText(REFGUID guid) {
  wchar_t text[40];
  return StringFromGUID2(guid, text, 40) > 0 ? ToUtf8(text) : std::string("{?}");
}

bool SameTextIgnoringCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i]))) return false;
  return true;
}

// "3ds", ".3ds" and "*.3ds" all name the extension 3ds.
std::wstring BareExtension(std::wstring extension) {
  if (extension.rfind(L"*.", 0) == 0) extension.erase(0, 2);
  else if (extension.rfind(L".", 0) == 0) extension.erase(0, 1);
  return extension;
}

// The module registered for `clsid` (its native path) when no file is there
// any more, else "": a registration that outlived its module is the likeliest
// reason COM cannot create a registered class.
std::string MissingServer(REFCLSID clsid) {
  const std::wstring name = L"CLSID\\" + FromUtf8(GuidText(clsid)) + L"\\InprocServer32";
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, name.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return "";
  DWORD type = 0, size = 0;
  std::vector<wchar_t> path;
  LONG got = RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &size);
  if (got == ERROR_SUCCESS && type == REG_SZ && size >= sizeof(wchar_t)) {
    path.assign(size / sizeof(wchar_t) + 1, L'\0');
    got = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<LPBYTE>(path.data()), &size);
  }
  RegCloseKey(key);
  if (got != ERROR_SUCCESS || path.empty() || !path[0]) return "";
  if (GetFileAttributesW(path.data()) != INVALID_FILE_ATTRIBUTES) return "";
  return NativePath(path.data());
}

const char* EventName(DISPID dispid) {
  switch (dispid) {
    case 4: return "DocumentOpened";
    case 5: return "HostClosing";
    case 11: return "ActiveDocumentChanged";
    case 12: return "DocumentCreated";
  }
  return "no event of the library";
}

// A call the host makes out, recorded before it goes (so that what the
// callee calls back comes after it) and finished with its answer.
class OutCall {
 public:
  OutCall(HostState& host, Op op) : recorder_(host.recorder.Records(op) ? &host.recorder : nullptr) {
    if (recorder_) {
      entry_ = recorder_->Begin(op);
      generation_ = recorder_->Generation();
    }
  }
  ~OutCall() {
    if (recorder_ && !finished_) recorder_->FinishAt(entry_, generation_, E_OUTOFMEMORY, {});
  }
  OutCall(const OutCall&) = delete;
  OutCall& operator=(const OutCall&) = delete;
  Recorder* Record() { return recorder_; }
  HRESULT Finish(HRESULT result, const std::string& error = {}) {
    finished_ = true;
    if (recorder_) recorder_->FinishAt(entry_, generation_, result, error);
    return result;
  }

 private:
  Recorder* recorder_;
  size_t entry_ = 0;
  uint64_t generation_ = 0;
  bool finished_ = false;
};

void RecordVariant(Recorder& r, const VARIANT& v) {
  switch (v.vt) {
    case VT_BSTR: r.Text(v.bstrVal); break;
    case VT_I4: r.Long(v.lVal); break;
    case VT_BOOL: r.Bool(v.boolVal); break;
    case VT_DISPATCH: v.pdispVal ? r.Name("dispatch object") : r.Null(); break;
    case VT_UNKNOWN: v.punkVal ? r.Name("object") : r.Null(); break;
    default: r.Name("VARIANT of type " + std::to_string(v.vt)); break;
  }
}

std::atomic<unsigned> g_hostFolders{0};

}  // namespace

// --- the host's bookkeeping ---------------------------------------------

bool HostState::KnownCookie(LONG cookie) const {
  for (size_t i = 0; i < addIns.size(); ++i)
    if (addIns[i].cookie == cookie && addInObjects[i]) return true;
  return false;
}

CommandManagerObject* HostState::Manager(LONG cookie) {
  for (size_t i = 0; i < managers.size(); ++i)
    if (managers[i].cookie == cookie) return managerObjects[i];
  managerObjects.reserve(managerObjects.size() + 1);
  managers.emplace_back();
  managers.back().cookie = cookie;
  CommandManagerObject* object = nullptr;
  try {
    object = Make<CommandManagerObject>(managers.back());
  } catch (...) {
    managers.pop_back();
    throw;
  }
  managerObjects.push_back(object);
  return object;
}

int HostState::Major() const {
  if (!revision) return 0;
  const std::wstring& text = *revision;
  size_t i = 0;
  while (i < text.size() && std::iswspace(static_cast<wint_t>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  long value = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    value = value * 10 + (text[i] - L'0');
    if (value > 0xFFFF) return -1;  // no type library version can say it
  }
  return negative && value ? -1 : static_cast<int>(value);
}

bool HostState::RegisterEvents(std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = "the host's type library: " + why;
    return false;
  };
  const int major = Major();
  if (major < 0) return fail("the revision's major number is not 0 to 65535");
  const std::string registryFile = registry::FilePath();
  if (eventLibrary.major == major && eventLibrary.registryFile == registryFile) {
    BSTR path = nullptr;
    const bool ours = QueryPathOfRegTypeLib(SldWorks::LIBID_SldWorks, static_cast<USHORT>(major), 0, 0, &path) ==
                          S_OK && path && eventLibrary.file == path;
    SysFreeString(path);
    if (ours) return true;
  }
  UnregisterEvents();

  namespace fs = std::filesystem;
  std::error_code ec;
  if (eventLibrary.dir.empty()) {
    const fs::path dir = fs::temp_directory_path(ec) / ("tessaly-host-" + std::to_string(::getpid()) + "-" +
                                                         std::to_string(g_hostFolders.fetch_add(1)));
    fs::create_directories(dir, ec);
    if (ec || !fs::is_directory(dir, ec)) return fail("cannot make a folder for it in '" + dir.parent_path().string() + "'");
    eventLibrary.dir = dir.string();
  }
  // The library says the version it is registered at: the running major.
  std::vector<unsigned char> bytes(kHostEventsTlb, kHostEventsTlb + kHostEventsTlb_size);
  if (bytes.size() < 0x54 || std::memcmp(bytes.data(), "MSFT", 4) != 0) return fail("the embedded library is damaged");
  bytes[0x18] = static_cast<unsigned char>(major & 0xFF);
  bytes[0x19] = static_cast<unsigned char>(major >> 8);
  bytes[0x1A] = bytes[0x1B] = 0;
  const std::string native = eventLibrary.dir + "/SldWorks-" + std::to_string(major) + ".tlb";
  {
    std::ofstream out(native, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) return fail("cannot write '" + native + "'");
  }
  const std::wstring file = WindowsPath(native);
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadTypeLibEx(file.c_str(), REGKIND_NONE, &lib);
  if (FAILED(hr)) return fail("cannot load '" + native + "': " + ErrorText(hr));
  const std::wstring dir = WindowsPath(eventLibrary.dir);
  hr = RegisterTypeLib(lib, file.c_str(), dir.c_str());
  lib->Release();
  if (FAILED(hr)) return fail("cannot register it in '" + registryFile + "': " + ErrorText(hr));
  eventLibrary.file = file;
  eventLibrary.registryFile = registryFile;
  eventLibrary.major = major;
  return true;
}

// Only a registration that is still the host's own goes: another host may
// have registered the library since, or the registry may be another file.
void HostState::UnregisterEvents() {
  if (eventLibrary.major < 0) return;
  const USHORT major = static_cast<USHORT>(eventLibrary.major);
  eventLibrary.major = -1;
  if (registry::FilePath() == eventLibrary.registryFile) {
    BSTR path = nullptr;
    const bool ours = QueryPathOfRegTypeLib(SldWorks::LIBID_SldWorks, major, 0, 0, &path) == S_OK && path &&
                      eventLibrary.file == path;
    SysFreeString(path);
    if (ours) UnRegisterTypeLib(SldWorks::LIBID_SldWorks, major, 0, 0, SYS_WIN64);
  }
  std::error_code ec;
  std::filesystem::remove(NativePath(eventLibrary.file), ec);
}

// --- the application's new operations -----------------------------------

STDMETHODIMP ApplicationObject::GetCommandManager(LONG cookie, IHostCommandManager** manager) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::AppGetCommandManager, *this);
    call.Long(cookie);
    call.Out(manager, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!manager) return call.Finish(E_POINTER, "manager is null");
    if (!host_.KnownCookie(cookie))
      return call.Finish(E_INVALIDARG, "cookie " + std::to_string(cookie) + " names no loaded add-in");
    *manager = HandOut<IHostCommandManager>(host_.Manager(cookie));
    return call.Finish(S_OK);
  });
}

STDMETHODIMP ApplicationObject::RegisterCallbackObject(LONG instance, IDispatch* callbacks, LONG cookie,
                                                       VARIANT_BOOL* ok) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::AppRegisterCallbackObject, *this);
    call.Long(instance);
    if (call.Recording()) callbacks ? call.Name("dispatch object") : call.Name("null");
    call.Long(cookie);
    call.Out(ok, VARIANT_FALSE);
    if (call.Faulted()) return call.Fault();
    if (!ok) return call.Finish(E_POINTER, "ok is null");
    if (!host_.KnownCookie(cookie))
      return call.Finish(E_INVALIDARG, "cookie " + std::to_string(cookie) + " names no loaded add-in");
    if (!callbacks) return call.Finish(E_INVALIDARG, "the callback object is null");
    auto& list = host_.callbacks;
    auto it = std::find_if(list.begin(), list.end(), [&](const HostState::Callback& c) { return c.cookie == cookie; });
    if (it == list.end()) {
      list.push_back({cookie, nullptr});
      it = list.end() - 1;
    }
    callbacks->AddRef();
    IDispatch* old = it->object;
    it->object = callbacks;
    if (old) old->Release();
    *ok = VARIANT_TRUE;
    return call.Finish(S_OK);
  });
}

STDMETHODIMP ApplicationObject::AddFileOpenItem(LONG cookie, BSTR callback, BSTR description, BSTR extension, BSTR a,
                                                BSTR b, VARIANT_BOOL* ok) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::AppAddFileOpenItem, *this);
    call.Long(cookie).Text(callback).Text(description).Text(extension).Text(a).Text(b);
    call.Out(ok, VARIANT_FALSE);
    if (call.Faulted()) return call.Fault();
    if (!ok) return call.Finish(E_POINTER, "ok is null");
    if (!host_.KnownCookie(cookie))
      return call.Finish(E_INVALIDARG, "cookie " + std::to_string(cookie) + " names no loaded add-in");
    if (!callback || SysStringLen(callback) == 0) return call.Finish(E_INVALIDARG, "the entry has no callback");
    if (!description || SysStringLen(description) == 0)
      return call.Finish(E_INVALIDARG, "the entry has no description");
    if (BareExtension(FromBstr(extension)).empty()) return call.Finish(E_INVALIDARG, "the entry has no extension");
    FileOpenEntry entry{cookie, FromBstr(callback), FromBstr(description), FromBstr(extension), FromBstr(a),
                        FromBstr(b)};
    for (const FileOpenEntry& e : host_.fileOpenEntries)
      if (e.cookie == cookie && e.callback == entry.callback && e.description == entry.description &&
          e.extension == entry.extension)
        return call.Finish(E_FAIL, "the add-in already has the entry " + Quoted(entry.description));
    host_.fileOpenEntries.push_back(std::move(entry));
    *ok = VARIANT_TRUE;
    return call.Finish(S_OK);
  });
}

STDMETHODIMP ApplicationObject::RemoveFileOpenItem(LONG cookie, BSTR callback, BSTR description, BSTR extension,
                                                   VARIANT_BOOL* ok) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::AppRemoveFileOpenItem, *this);
    call.Long(cookie).Text(callback).Text(description).Text(extension);
    call.Out(ok, VARIANT_FALSE);
    if (call.Faulted()) return call.Fault();
    if (!ok) return call.Finish(E_POINTER, "ok is null");
    if (!host_.KnownCookie(cookie))
      return call.Finish(E_INVALIDARG, "cookie " + std::to_string(cookie) + " names no loaded add-in");
    auto& list = host_.fileOpenEntries;
    const auto it = std::find_if(list.begin(), list.end(), [&](const FileOpenEntry& e) {
      return e.cookie == cookie && e.callback == FromBstr(callback) && e.description == FromBstr(description) &&
             e.extension == FromBstr(extension);
    });
    if (it == list.end())
      return call.Finish(E_FAIL, "the add-in has no entry " + Quoted(FromBstr(description)) + " for " +
                                     Quoted(FromBstr(extension)) + " calling " + Quoted(FromBstr(callback)));
    list.erase(it);
    *ok = VARIANT_TRUE;
    return call.Finish(S_OK);
  });
}

// --- the application as IDispatch: nothing to call by name --------------

STDMETHODIMP ApplicationObject::Dispatch::GetTypeInfoCount(UINT* count) {
  return ComNoThrow([&] {
    CallScope call(app_.host_, Op::DispGetTypeInfoCount, app_);
    call.Out(count, 0u);
    if (call.Faulted()) return call.Fault();
    if (!count) return call.Finish(E_POINTER, "count is null");
    *count = 0;
    return call.Finish(S_OK);
  });
}

STDMETHODIMP ApplicationObject::Dispatch::GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) {
  return ComNoThrow([&] {
    CallScope call(app_.host_, Op::DispGetTypeInfo, app_);
    call.Long(static_cast<LONG>(index)).Long(static_cast<LONG>(lcid));
    call.Out(info, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!info) return call.Finish(E_POINTER, "info is null");
    return call.Finish(DISP_E_BADINDEX, "the application has no type information");
  });
}

STDMETHODIMP ApplicationObject::Dispatch::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID lcid,
                                                        DISPID* ids) {
  return ComNoThrow([&] {
    CallScope call(app_.host_, Op::DispGetIDsOfNames, app_);
    if (call.Recording()) {
      call.Name(names && count && names[0] ? Quoted(names[0]) : std::string("null"));
      call.Long(static_cast<LONG>(count)).Long(static_cast<LONG>(lcid));
    }
    if (call.Faulted()) return call.Fault();
    if (!names || !ids) return call.Finish(E_POINTER, "names or ids is null");
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return call.Finish(DISP_E_UNKNOWNNAME, "the application has no names to call");
  });
}

STDMETHODIMP ApplicationObject::Dispatch::Invoke(DISPID id, REFIID, LCID lcid, WORD flags, DISPPARAMS*, VARIANT*,
                                                 EXCEPINFO*, UINT*) {
  return ComNoThrow([&] {
    CallScope call(app_.host_, Op::DispInvoke, app_);
    call.Long(id).Long(static_cast<LONG>(lcid)).Long(flags);
    if (call.Faulted()) return call.Fault();
    return call.Finish(DISP_E_MEMBERNOTFOUND, "the application has no member " + std::to_string(id));
  });
}

// --- the events ---------------------------------------------------------

STDMETHODIMP ApplicationObject::Container::EnumConnectionPoints(IEnumConnectionPoints** points) {
  return ComNoThrow([&] {
    CallScope call(app_.host_, Op::CpcEnumConnectionPoints, app_);
    call.Out(points, nullptr);
    if (call.Faulted()) return call.Fault();
    return call.Finish(E_NOTIMPL, "the host does not enumerate its connection points");
  });
}

STDMETHODIMP ApplicationObject::Container::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
  return ComNoThrow([&] {
    CallScope call(app_.host_, Op::CpcFindConnectionPoint, app_);
    if (call.Recording()) call.Name(IidName(riid));
    call.Out(point, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!point) return call.Finish(E_POINTER, "point is null");
    if (riid != DIID_IHostApplicationEvents)
      return call.Finish(CONNECT_E_NOCONNECTION, "the application has no events " + IidName(riid));
    *point = HandOut<IConnectionPoint>(app_.host_.events);
    return call.Finish(S_OK);
  });
}

ConnectionPointObject::ConnectionPointObject(HostState& host)
    : Counted(host), sinks_(host.application->AsContainer(), DIID_IHostApplicationEvents) {}

void* ConnectionPointObject::Role(REFIID iid) {
  if (iid == __uuidof(IUnknown) || iid == __uuidof(IConnectionPoint)) return static_cast<IConnectionPoint*>(this);
  return nullptr;
}

STDMETHODIMP ConnectionPointObject::GetConnectionInterface(IID* iid) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::CpGetConnectionInterface, *this);
    if (call.Faulted()) return call.Fault();
    if (!iid) return call.Finish(E_POINTER, "iid is null");
    *iid = DIID_IHostApplicationEvents;
    return call.Finish(S_OK);
  });
}

STDMETHODIMP ConnectionPointObject::GetConnectionPointContainer(IConnectionPointContainer** container) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::CpGetConnectionPointContainer, *this);
    call.Out(container, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!container) return call.Finish(E_POINTER, "container is null");
    host_.application->Grant();
    *container = host_.application->AsContainer();
    return call.Finish(S_OK);
  });
}

STDMETHODIMP ConnectionPointObject::Advise(IUnknown* sink, DWORD* cookie) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::CpAdvise, *this);
    if (call.Recording()) sink ? call.Name("sink") : call.Name("null");
    call.Out(cookie, 0u);
    if (call.Faulted()) return call.Fault();
    if (!cookie) return call.Finish(E_POINTER, "cookie is null");
    if (!sink) return call.Finish(E_POINTER, "sink is null");
    // A sink reads the events' descriptions from the host's type library.
    host_.RegisterEvents(nullptr);
    cookies_.reserve(cookies_.size() + 1);
    const HRESULT hr = sinks_.Advise(sink, cookie);
    if (hr != S_OK)
      return call.Finish(hr, hr == CONNECT_E_CANNOTCONNECT ? "the sink does not answer for IHostApplicationEvents"
                                                          : std::string());
    cookies_.push_back(*cookie);
    return call.Finish(S_OK);
  });
}

STDMETHODIMP ConnectionPointObject::Unadvise(DWORD cookie) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::CpUnadvise, *this);
    call.Long(static_cast<LONG>(cookie));
    if (call.Faulted()) return call.Fault();
    const HRESULT hr = sinks_.Unadvise(cookie);
    if (hr != S_OK) return call.Finish(hr, "no sink is advised with cookie " + std::to_string(cookie));
    ForgetCookie(cookie);
    return call.Finish(S_OK);
  });
}

STDMETHODIMP ConnectionPointObject::EnumConnections(IEnumConnections** connections) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::CpEnumConnections, *this);
    call.Out(connections, nullptr);
    if (call.Faulted()) return call.Fault();
    return call.Finish(E_NOTIMPL, "the host does not enumerate its sinks");
  });
}

// --- event arguments ----------------------------------------------------

EventArg::EventArg(const wchar_t* text) {
  VariantInit(&value_);
  value_.vt = VT_BSTR;
  value_.bstrVal = text ? SysAllocString(text) : nullptr;
  if (text && !value_.bstrVal) throw std::bad_alloc();
}

EventArg::EventArg(int value) {
  VariantInit(&value_);
  value_.vt = VT_I4;
  value_.lVal = value;
}

EventArg::EventArg(IDispatch* object) {
  VariantInit(&value_);
  value_.vt = VT_DISPATCH;
  value_.pdispVal = object;
  if (object) object->AddRef();
}

EventArg::EventArg(const VARIANT& value) {
  VariantInit(&value_);
  if (FAILED(VariantCopy(&value_, &value))) throw std::bad_alloc();
}

EventArg::EventArg(const EventArg& other) : EventArg(other.value_) {}

EventArg::~EventArg() { VariantClear(&value_); }

// --- Host: add-ins, calls by name, events --------------------------------

namespace {

// Calls `name` on `object` by name; `args` in the callee's order.
HRESULT CallByName(HostState& s, IDispatch* object, const std::wstring& name, std::vector<VARIANT>& args,
                   std::string* error) {
  DISPID dispid = DISPID_UNKNOWN;
  HRESULT hr;
  {
    OutCall out(s, Op::OutCallbackGetIDsOfNames);
    if (Recorder* r = out.Record()) r->Name(Quoted(name));
    std::vector<wchar_t> text(name.begin(), name.end());
    text.push_back(L'\0');
    LPOLESTR names[1] = {text.data()};
    hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
    out.Finish(hr);
  }
  if (hr != S_OK) {
    if (error) *error = "the callback object does not resolve " + Quoted(name) + " (" + ErrorText(hr) + ")";
    return FAILED(hr) ? hr : DISP_E_UNKNOWNNAME;
  }
  OutCall out(s, Op::OutCallbackInvoke);
  if (Recorder* r = out.Record()) {
    r->Name(Quoted(name));
    r->Long(dispid);
    for (const VARIANT& v : args) RecordVariant(*r, v);
  }
  std::reverse(args.begin(), args.end());  // DISPPARAMS holds them last first
  DISPPARAMS params = {args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO exception = {};
  UINT argError = 0;
  hr = object->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &exception, &argError);
  VariantClear(&result);
  std::string why;
  if (hr == DISP_E_EXCEPTION && exception.bstrDescription) why = ToUtf8(FromBstr(exception.bstrDescription));
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  out.Finish(hr, why);
  if (FAILED(hr) && error)
    *error = "calling " + Quoted(name) + " failed (" + ErrorText(hr) + ")" + (why.empty() ? "" : ": " + why);
  return hr;
}

IDispatch* CallbackOf(const HostState& s, LONG cookie) {
  for (const HostState::Callback& c : s.callbacks)
    if (c.cookie == cookie) return c.object;
  return nullptr;
}

}  // namespace

HRESULT Host::ConnectAddIn(SWPublished::ISwAddin* addin, LONG* cookie) {
  if (cookie) *cookie = 0;
  if (!addin) return E_POINTER;
  HostState& s = *state_;
  try {
    s.addIns.reserve(s.addIns.size() + 1);
    s.addInObjects.reserve(s.addInObjects.size() + 1);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  addin->AddRef();
  return state_->Connect(addin, GUID_NULL, cookie);
}

HRESULT HostState::Connect(SWPublished::ISwAddin* addin, REFCLSID clsid, LONG* cookieOut) {
  // Room is made by the caller, so the add-in is never lost.
  try {
    RegisterEvents(nullptr);
  } catch (const std::bad_alloc&) {
    // The events go undescribed; the add-in still connects.
  }
  const LONG cookie = nextCookie++;
  addIns.push_back(AddIn{clsid, cookie, false, {}});
  addInObjects.push_back(addin);
  const size_t index = addIns.size() - 1;
  VARIANT_BOOL connected = VARIANT_FALSE;
  HRESULT hr;
  {
    OutCall out(*this, Op::OutConnectToSW);
    if (Recorder* r = out.Record()) {
      r->Name("application as IDispatch");
      r->Long(cookie);
    }
    hr = addin->ConnectToSW(application->AsDispatch(), cookie, &connected);
    out.Finish(hr);
  }
  if (hr == S_OK && connected == VARIANT_TRUE) {
    addIns[index].connected = true;
    if (cookieOut) *cookieOut = cookie;
    return S_OK;
  }
  try {
    addIns[index].error = "ConnectToSW answered " + ErrorText(hr) + (connected == VARIANT_TRUE ? "" : " and not connected");
  } catch (...) {
  }
  LetGo(index);
  return FAILED(hr) ? hr : E_FAIL;
}

// The host forgets what it held of the add-in and lets go of it.
void HostState::LetGo(size_t index) {
  SWPublished::ISwAddin* addin = addInObjects[index];
  if (!addin) return;
  const LONG cookie = addIns[index].cookie;
  for (auto it = callbacks.begin(); it != callbacks.end(); ++it) {
    if (it->cookie != cookie) continue;
    IDispatch* object = it->object;
    callbacks.erase(it);
    if (object) object->Release();
    break;
  }
  addInObjects[index] = nullptr;
  addin->Release();
}

HRESULT Host::LoadAddIns(std::string* error) {
  HostState& s = *state_;
  if (error) error->clear();
  auto note = [&](const std::string& line) {
    if (error) *error += line + "\n";
  };
  try {
    std::string why;
    if (!s.RegisterEvents(&why)) note(why);
    if (!s.comEntered) {
      const HRESULT hr = CoInitialize(nullptr);
      if (FAILED(hr)) {
        note("COM: CoInitialize failed (" + ErrorText(hr) + ")");
        return hr;
      }
      s.comEntered = true;
    }
    HKEY key = nullptr;
    const LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\SolidWorks\\AddIns", 0, KEY_READ, &key);
    if (opened == ERROR_FILE_NOT_FOUND) return S_OK;  // no add-in is registered
    if (opened != ERROR_SUCCESS) {
      note("cannot read HKEY_LOCAL_MACHINE\\SOFTWARE\\SolidWorks\\AddIns (" +
           Win32ErrorText(static_cast<DWORD>(opened)) + ")");
      return HRESULT_FROM_WIN32(opened);
    }
    std::vector<std::wstring> names;
    for (DWORD i = 0;; ++i) {
      wchar_t name[256];
      DWORD chars = 256;
      const LONG got = RegEnumKeyExW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr);
      if (got == ERROR_MORE_DATA) {
        note("AddIns: a subkey's name is longer than a key name can be; it is skipped");
        continue;
      }
      if (got != ERROR_SUCCESS) break;
      names.emplace_back(name, chars);
    }
    RegCloseKey(key);

    HRESULT first = S_OK;
    for (const std::wstring& name : names) {
      CLSID clsid;
      if (CLSIDFromString(name.c_str(), &clsid) != S_OK) {
        note("AddIns\\" + ToUtf8(name) + ": not a class id in braces");
        s.addIns.push_back(AddIn{GUID_NULL, 0, false, "the key " + Quoted(name) + " is not a class id in braces"});
        s.addInObjects.push_back(nullptr);
        if (first == S_OK) first = CO_E_CLASSSTRING;
        continue;
      }
      bool loaded = false;
      for (size_t i = 0; i < s.addIns.size(); ++i)
        if (s.addIns[i].clsid == clsid && s.addInObjects[i]) loaded = true;
      if (loaded) continue;
      s.addIns.reserve(s.addIns.size() + 1);
      s.addInObjects.reserve(s.addInObjects.size() + 1);
      SWPublished::ISwAddin* addin = nullptr;
      const HRESULT created = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(SWPublished::ISwAddin),
                                               reinterpret_cast<void**>(&addin));
      if (created != S_OK || !addin) {
        if (addin) addin->Release();
        const HRESULT hr = FAILED(created) ? created : E_NOINTERFACE;
        const std::string missing = MissingServer(clsid);
        const std::string gone =
            missing.empty() ? "" : "; its module " + missing + " is gone (deleted or moved since it was registered)";
        note(GuidText(clsid) + ": COM cannot create it (" + ErrorText(hr) + ")" + gone);
        s.addIns.push_back(AddIn{clsid, 0, false, "CoCreateInstance answered " + ErrorText(hr) + gone});
        s.addInObjects.push_back(nullptr);
        if (first == S_OK) first = hr;
        continue;
      }
      s.madeByCom = true;
      const HRESULT hr = s.Connect(addin, clsid, nullptr);
      if (hr != S_OK) {
        note(GuidText(clsid) + ": " + s.addIns.back().error);
        if (first == S_OK) first = hr;
      }
    }
    return first;
  } catch (const std::bad_alloc&) {
    note("out of memory");
    return E_OUTOFMEMORY;
  }
}

void Host::UnloadAddIns() {
  HostState& s = *state_;
  for (size_t i = 0; i < s.addIns.size(); ++i) {
    if (!s.addInObjects[i] || !s.addIns[i].connected) continue;
    VARIANT_BOOL flag = VARIANT_FALSE;
    OutCall out(s, Op::OutDisconnectFromSW);
    const HRESULT hr = s.addInObjects[i]->DisconnectFromSW(&flag);
    out.Finish(hr);
    s.addIns[i].connected = false;
  }
  // What the add-ins left advised goes with them: a sink counts on its
  // add-in, so before the add-ins are released.
  while (!s.events->Cookies().empty()) {
    const DWORD cookie = s.events->Cookies().front();
    s.events->Sinks().Unadvise(cookie);
    s.events->ForgetCookie(cookie);
  }
  for (size_t i = 0; i < s.addIns.size(); ++i) s.LetGo(i);
  if (s.madeByCom) {
    CoFreeUnusedLibraries();
    s.madeByCom = false;
  }
}

const std::vector<AddIn>& Host::AddIns() const { return state_->addIns; }

HRESULT Host::OpenFile(const std::wstring& path, std::string* error) {
  HostState& s = *state_;
  auto fail = [&](HRESULT hr, const std::string& why) {
    if (error) *error = why;
    return hr;
  };
  try {
    if (error) error->clear();
    const size_t slash = path.find_last_of(L"\\/");
    const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos || dot + 1 == name.size())
      return fail(E_INVALIDARG, "the Open dialog has no entry for " + Quoted(path) + ": it has no extension");
    const std::wstring extension = name.substr(dot + 1);
    const FileOpenEntry* entry = nullptr;
    for (const FileOpenEntry& e : s.fileOpenEntries)
      if (s.KnownCookie(e.cookie) && SameTextIgnoringCase(BareExtension(e.extension), extension)) {
        entry = &e;
        break;
      }
    if (!entry) return fail(E_FAIL, "the Open dialog has no entry for files of type ." + ToUtf8(extension));
    IDispatch* object = CallbackOf(s, entry->cookie);
    if (!object)
      return fail(E_FAIL, "add-in " + std::to_string(entry->cookie) + " registered no callback object for " +
                              Quoted(entry->description));
    const std::wstring callback = entry->callback;
    std::vector<VARIANT> args(1);
    VariantInit(&args[0]);
    args[0].vt = VT_BSTR;
    args[0].bstrVal = SysAllocStringLen(path.data(), static_cast<UINT>(path.size()));
    if (!args[0].bstrVal) return fail(E_OUTOFMEMORY, "out of memory");
    object->AddRef();  // the call may unload what holds it
    const HRESULT hr = CallByName(s, object, callback, args, error);
    object->Release();
    for (VARIANT& v : args) VariantClear(&v);
    return hr;
  } catch (const std::bad_alloc&) {
    return fail(E_OUTOFMEMORY, "out of memory");
  }
}

HRESULT Host::PressCommand(const std::wstring& itemName, std::string* error) {
  HostState& s = *state_;
  auto fail = [&](HRESULT hr, const std::string& why) {
    if (error) *error = why;
    return hr;
  };
  try {
    if (error) error->clear();
    for (const CommandManager& m : s.managers) {
      if (!s.KnownCookie(m.cookie)) continue;
      for (const CommandGroup& g : m.groups) {
        if (!g.active) continue;
        for (const CommandItem& item : g.items) {
          if (item.name != itemName) continue;
          if (item.callback.empty()) return fail(E_FAIL, "the command " + Quoted(itemName) + " has no callback");
          IDispatch* object = CallbackOf(s, m.cookie);
          if (!object)
            return fail(E_FAIL, "add-in " + std::to_string(m.cookie) + " registered no callback object");
          const std::wstring callback = item.callback;
          std::vector<VARIANT> none;
          object->AddRef();
          const HRESULT hr = CallByName(s, object, callback, none, error);
          object->Release();
          return hr;
        }
      }
    }
    return fail(E_FAIL, "no activated command group has a command " + Quoted(itemName));
  } catch (const std::bad_alloc&) {
    return fail(E_OUTOFMEMORY, "out of memory");
  }
}

HRESULT Host::FireEvent(DISPID dispid, const std::vector<EventArg>& args) {
  HostState& s = *state_;
  ConnectionPoint& sinks = s.events->Sinks();
  std::vector<VARIANT> params;
  struct Begun {
    size_t entry;
    uint64_t generation;
  };
  std::vector<Begun> begun;
  std::vector<HRESULT> results;
  HRESULT hr = S_OK;
  try {
    params.reserve(args.size());
    for (auto it = args.rbegin(); it != args.rend(); ++it) {
      params.emplace_back();
      VariantInit(&params.back());
      if (FAILED(VariantCopy(&params.back(), &it->Value()))) throw std::bad_alloc();
    }
    const size_t count = sinks.Count();
    if (s.recorder.Records(Op::OutEventInvoke)) {
      for (size_t i = 0; i < count; ++i) {
        Recorder& r = s.recorder;
        begun.push_back({r.Begin(Op::OutEventInvoke), r.Generation()});
        r.Long(dispid);
        r.Name(EventName(dispid));
        for (const EventArg& a : args) RecordVariant(r, a.Value());
        r.Name("sink " + std::to_string(i + 1) + " of " + std::to_string(count));
      }
    }
    DISPPARAMS dp = {params.empty() ? nullptr : params.data(), nullptr, static_cast<UINT>(params.size()), 0};
    hr = sinks.Fire(dispid, &dp, &results);
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  }
  for (size_t i = 0; i < begun.size(); ++i)
    s.recorder.FinishAt(begun[i].entry, begun[i].generation, i < results.size() ? results[i] : hr, {});
  for (VARIANT& v : params) VariantClear(&v);
  return hr;
}

size_t Host::EventSinks() const { return state_->events->Cookies().size(); }

bool Host::RegisterEventTypeLibrary(std::string* error) {
  try {
    return state_->RegisterEvents(error);
  } catch (const std::bad_alloc&) {
    if (error) *error = "the host's type library: out of memory";
    return false;
  }
}

const std::deque<CommandManager>& Host::CommandManagers() const { return state_->managers; }

const CommandManager* Host::FindCommandManager(LONG cookie) const {
  for (const CommandManager& m : state_->managers)
    if (m.cookie == cookie) return &m;
  return nullptr;
}

const std::deque<CommandTab>& Host::CommandTabs() const { return state_->tabs; }
const std::vector<FileOpenEntry>& Host::FileOpenEntries() const { return state_->fileOpenEntries; }
IDispatch* Host::CallbackObject(LONG cookie) const { return CallbackOf(*state_, cookie); }

}  // namespace stand_in
