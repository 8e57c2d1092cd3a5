// How a bridge entry answers for its steps' exceptions: running out of
// memory (or any other throw) becomes the result 0 with a text, never an
// exception out of the bridge.
#pragma once

#include <utility>

#include "VLMSWON.h"
#include "roads.h"

template <class Step>
int VLMSWON::Guarded(const wchar_t* outOfMemory, Step&& step) noexcept {
  KeepOutOfMemoryText();
  return bridge::Contain(0, std::forward<Step>(step), [&](bool memory) noexcept {
    SetErrorNoThrow(memory ? outOfMemory : L"Unexpected failure in the geometry bridge");
  });
}
