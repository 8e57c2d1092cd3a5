#include "document_steps.h"

namespace bridge_steps {

bool TakeActiveDocument(IHostApplication* host, CComPtr<IHostDocument>& document) {
  host->ActiveDocument(&document);
  if (!document) {
    VLMSWON::SetError(L"Unable to retrieve active model");
    return false;
  }
  return true;
}

bool NewPart(IHostApplication* host, const wchar_t* noPartText, CComPtr<IHostPartDocument>& part,
             CComPtr<IHostDocument>& document) {
  host->NewPartDocument(&part);
  if (!part) {
    VLMSWON::SetError(noPartText);
    return false;
  }
  if (!TakeActiveDocument(host, document)) {
    part.Release();
    return false;
  }
  return true;
}

bool ToggleSketch(IHostDocument* document) { return document->Toggle3DSketch(0) != E_OUTOFMEMORY; }

void FinishDocument(IHostDocument* document) {
  document->PostGeometryStepA();
  document->PostGeometryStepB();
}

}  // namespace bridge_steps
