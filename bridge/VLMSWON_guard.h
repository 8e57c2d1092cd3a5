// How a bridge entry answers for its steps' exceptions: running out of
// memory (or any other throw) becomes the result 0 with a text, never an
// exception out of the bridge.
#pragma once

#include <new>

#include "VLMSWON.h"

template <class Step>
int VLMSWON::Guarded(const wchar_t* outOfMemory, Step&& step) noexcept {
  KeepOutOfMemoryText();
  try {
    return step();
  } catch (const std::bad_alloc&) {
    SetErrorNoThrow(outOfMemory);
  } catch (...) {
    SetErrorNoThrow(L"Unexpected failure in the geometry bridge");
  }
  return 0;
}
