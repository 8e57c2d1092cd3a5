// What the bridge's document-creating entries share: the guard that keeps an
// exception from leaving the bridge, a new document taken back as the active
// document, and the document calls around the geometry.
#pragma once

#include <atlbase.h>

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

namespace bridge_steps {

// The active document, which is the document just made. False, with the
// error text set, when the host gives none.
bool TakeActiveDocument(IHostApplication* host, CComPtr<IHostDocument>& document);

// A new part and, asked for again as the active document, the same part as a
// document. On failure the error text is set and nothing is kept.
bool NewPart(IHostApplication* host, const wchar_t* noPartText, CComPtr<IHostPartDocument>& part,
             CComPtr<IHostDocument>& document);

// Opens or closes the 3D sketch. False when the host had not the memory: a
// sketch it could not open would lose the geometry quietly.
bool ToggleSketch(IHostDocument* document);

// PostGeometryStepA, then PostGeometryStepB.
void FinishDocument(IHostDocument* document);

}  // namespace bridge_steps

template <class Draw>
int VLMSWON::DrawInSketch(IHostDocument* document, const wchar_t* outOfMemory, Draw&& draw) {
  if (!bridge_steps::ToggleSketch(document)) {
    SetErrorNoThrow(outOfMemory);
    return 0;
  }
  int result = draw();
  document->PostSketchStep();
  if (!bridge_steps::ToggleSketch(document) && result) {
    SetErrorNoThrow(outOfMemory);
    result = 0;
  }
  return result;
}
