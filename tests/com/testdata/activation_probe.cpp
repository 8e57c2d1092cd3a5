// An in-process server for the activation tests: one class, CLSID_ComProbe,
// whose objects have IUnknown only. DllCanUnloadNow answers S_OK when no
// object lives, no lock is taken and no client holds the factory. DllMain
// writes "attach" and "detach" to the file named by COM_PROBE_LOG.
#include <unknwn.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "probe_factory.h"

namespace {

// {6E0F1C2A-5B3D-4C7E-9A11-2F4B6D8E0A13}
constexpr GUID kClsid = stand_in::GuidFromText("6E0F1C2A-5B3D-4C7E-9A11-2F4B6D8E0A13");

long g_objects = 0;
long g_locks = 0;
long g_factoryRefs = 0;

void Log(const char* what) {
  const char* file = std::getenv("COM_PROBE_LOG");
  if (!file || !*file) return;
  if (FILE* f = std::fopen(file, "a")) {
    std::fprintf(f, "%s\n", what);
    std::fclose(f);
  }
}

bool Is(REFIID a, const GUID& b) { return a == b; }

class Object : public IUnknown {
 public:
  Object() { ++g_objects; }
  virtual ~Object() { --g_objects; }
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!Is(iid, __uuidof(IUnknown))) return E_NOINTERFACE;
    *out = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 private:
  ULONG refs_ = 0;
};

test_support::ProbeFactory<Object> g_factory(g_locks, &g_factoryRefs);

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) Log("attach");
  if (reason == DLL_PROCESS_DETACH) Log("detach");
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!(clsid == kClsid)) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(iid, out);
}

STDAPI DllCanUnloadNow() { return g_objects == 0 && g_locks == 0 && g_factoryRefs == 0 ? S_OK : S_FALSE; }
