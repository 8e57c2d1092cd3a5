// A module for the loader tests. It writes what happens to it, one word a
// line, to the file named by LOADER_PROBE_LOG: "construct" and "destruct"
// for its static initialisation and termination, "attach" and "detach" for
// its DllMain. LOADER_PROBE_ATTACH=fail makes DllMain refuse the attach.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void Log(const char* what) {
  const char* file = std::getenv("LOADER_PROBE_LOG");
  if (!file || !*file) return;
  if (FILE* f = std::fopen(file, "a")) {
    std::fprintf(f, "%s\n", what);
    std::fclose(f);
  }
}

HINSTANCE g_instance = nullptr;

struct Statics {
  Statics() { Log("construct"); }
  ~Statics() { Log("destruct"); }
} g_statics;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reserved) Log("reserved");
  if (reason == DLL_PROCESS_ATTACH) {
    g_instance = instance;
    Log("attach");
    const char* mode = std::getenv("LOADER_PROBE_ATTACH");
    return mode && std::strcmp(mode, "fail") == 0 ? FALSE : TRUE;
  }
  if (reason == DLL_PROCESS_DETACH) Log("detach");
  return TRUE;
}

// The instance its DllMain was given.
extern "C" HINSTANCE ProbeInstance() { return g_instance; }

// Needs the platform library, so that the module depends on it.
extern "C" DWORD ProbeLastError() { return GetLastError(); }
