// Feeds arbitrary bytes to the registry file reader. Besides the sanitizers'
// checks: a file is read whole or refused with its name and a line number,
// and what the writer makes of an accepted file reads back to the same text.
#include "stand_in/registry.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string canonical, error;
  if (!stand_in::registry::ParseText(text, "fuzz.txt", &canonical, &error)) {
    Require(error.compare(0, 15, "fuzz.txt, line ") == 0);
    return 0;
  }
  std::string again, error_again;
  Require(stand_in::registry::ParseText(canonical, "fuzz.txt", &again, &error_again));
  Require(again == canonical);
  return 0;
}
