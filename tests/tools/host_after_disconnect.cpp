// Loads and connects the registered add-ins into the stand-in host as
// tessaly-host does, disconnects them, and prints what the host still holds
// of theirs: command groups, Open-dialog entries, event sinks. The end-to-end
// script reads it, since tessaly-host prints the host only before shutdown.
//
//   host_after_disconnect       (registry from TESSALY_REGISTRY)

#include "stand_in/host.h"

#include <objbase.h>

#include <cstdio>
#include <string>

namespace {

void Print(const char* when, const stand_in::Host& host) {
  size_t groups = 0;
  for (const auto& manager : host.CommandManagers()) groups += manager.groups.size();
  size_t connected = 0;
  for (const auto& addin : host.AddIns()) connected += addin.connected ? 1 : 0;
  std::printf("%s: add-ins %zu, connected %zu, groups %zu, open entries %zu, event sinks %zu\n", when,
              host.AddIns().size(), connected, groups, host.FileOpenEntries().size(), host.EventSinks());
}

}  // namespace

int main() {
  int status = 0;
  CoInitialize(nullptr);
  {
    stand_in::Host host;
    std::string error;
    if (FAILED(host.LoadAddIns(&error))) std::fprintf(stderr, "host_after_disconnect: %s\n", error.c_str());
    if (host.AddIns().empty()) {
      std::fprintf(stderr, "host_after_disconnect: no add-in is registered\n");
      status = 1;
    }
    Print("connected", host);
    host.UnloadAddIns();
    Print("disconnected", host);
  }
  CoUninitialize();
  return status;
}
