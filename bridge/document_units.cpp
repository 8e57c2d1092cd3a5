#include "HostUtils.h"

namespace {
// Metres per unit of the units codes 0 to 4. The foot is 12 inches computed
// in double precision, as the host's own conversion does.
const double kMetresPerUnit[] = {0.001, 0.01, 1.0, 0.0254, 12 * 0.0254};
}  // namespace

int SetDocumentUnits(IHostDocument* document, int unitsCode, double* scale) {
  *scale = 1.0;
  if (unitsCode >= 0 && unitsCode <= 4) {
    // Only a host out of memory is a failure: the part would keep a unit
    // other than the file's.
    if (document->SetLengthUnit(unitsCode) == E_OUTOFMEMORY) return 0;
    *scale = kMetresPerUnit[unitsCode];
  }
  return 1;
}
