#include <new>

#include "VLMGeo.h"

int VLMBrep::GetEdgeCurves(const ON_Brep& brep, ON_ClassArray<ON_NurbsCurve>& curves) {
  try {
    // Made aside, so that a brep with a bad edge adds nothing.
    ON_ClassArray<ON_NurbsCurve> made(brep.m_E.Count());
    for (int i = 0; i < brep.m_E.Count(); ++i) {
      const ON_BrepEdge& edge = brep.m_E[i];
      const ON_Curve* curve = edge.EdgeCurveOf();
      const ON_Interval domain = edge.ProxyCurveDomain();
      if (!curve || !curve->GetNurbForm(made.AppendNew(), 0.0, &domain)) return 0;
    }
    if (!curves.Reserve(curves.Count() + made.Count())) return 0;
    for (int i = 0; i < made.Count(); ++i) curves.AppendNew().Swap(made[i]);  // room reserved: no throw
    return 1;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}
