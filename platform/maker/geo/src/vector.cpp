#include <cmath>

#include "VLMGeo.h"

double VLMVector::Angle(const ON_3dVector& a, const ON_3dVector& b, const ON_3dVector& normal, int signedRange) {
  ON_3dVector n = normal;
  if (!a.IsValid() || !b.IsValid() || !n.Unitize()) return 0.0;
  const ON_3dVector pa = a - n * (a * n);
  const ON_3dVector pb = b - n * (b * n);
  if (pa.IsZeroVector() || pb.IsZeroVector()) return 0.0;
  double angle = std::atan2(ON_CrossProduct(pa, pb) * n, pa * pb);  // in [-pi, pi]
  if (signedRange) {
    if (angle == -ON_PI) angle = ON_PI;
    return angle;
  }
  if (angle < 0.0) angle += 2.0 * ON_PI;
  // A turn just short of 0 rounds up to 2 pi: it is 0.
  if (angle >= 2.0 * ON_PI) angle = 0.0;
  return angle;
}
