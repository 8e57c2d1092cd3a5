#include "opennurbs_curve.h"

#include <new>

ON_Curve::~ON_Curve() = default;

ON_3dPoint ON_Curve::PointAtStart() const { return PointAt(Domain()[0]); }

ON_3dPoint ON_Curve::PointAtEnd() const { return PointAt(Domain()[1]); }

bool ON_Curve::IsClosed() const {
  if (!IsValid()) return false;
  const ON_Interval domain = Domain();
  const ON_3dPoint start = PointAt(domain[0]);
  if (!ON_PointsAreCoincident(start, PointAt(domain[1]))) return false;
  // A curve that is one point is not a closed curve.
  return !ON_PointsAreCoincident(start, PointAt(domain.ParameterAt(1.0 / 3.0))) ||
         !ON_PointsAreCoincident(start, PointAt(domain.ParameterAt(2.0 / 3.0)));
}

bool ON_Curve::IsPeriodic() const { return false; }

bool ON_Curve::NurbFormDomain(const ON_Interval& domain, const ON_Interval* subdomain, ON_Interval& result) {
  if (!domain.IsIncreasing()) return false;
  if (!subdomain) {
    result = domain;
    return true;
  }
  if (!subdomain->IsIncreasing() || (*subdomain)[0] < domain[0] || (*subdomain)[1] > domain[1]) return false;
  result = *subdomain;
  return true;
}

ON_CurveArray::ON_CurveArray(const ON_CurveArray& src) : ON_SimpleArray<ON_Curve*>() {
  if (!SetCapacity(src.Count())) throw std::bad_alloc();
  for (int i = 0; i < src.Count(); ++i) {
    ON_Curve* copy = nullptr;
    if (src[i]) {
      copy = src[i]->DuplicateCurve();
      if (!copy) {
        Destroy();
        throw std::bad_alloc();
      }
    }
    Append(copy);  // room was reserved: does not throw
  }
}

ON_CurveArray& ON_CurveArray::operator=(const ON_CurveArray& src) {
  if (this != &src) {
    ON_CurveArray copy(src);
    *this = std::move(copy);
  }
  return *this;
}

ON_CurveArray& ON_CurveArray::operator=(ON_CurveArray&& src) noexcept {
  if (this != &src) {
    Destroy();
    ON_SimpleArray<ON_Curve*>::operator=(std::move(src));
  }
  return *this;
}

ON_CurveArray::~ON_CurveArray() { Destroy(); }

void ON_CurveArray::Destroy() {
  for (int i = 0; i < Count(); ++i) delete (*this)[i];
  ON_SimpleArray<ON_Curve*>::Destroy();
}
