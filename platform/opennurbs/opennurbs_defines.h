// Constants and small numeric helpers of the openNURBS subset (toolkit
// version 200707180), with openNURBS's names and values.
#pragma once

#include <cmath>

#define OPENNURBS_VERSION 200707180

#define ON_PI 3.141592653589793238462643
#define ON_DEGREES_TO_RADIANS (ON_PI / 180.0)
#define ON_RADIANS_TO_DEGREES (180.0 / ON_PI)
#define ON_SQRT2 1.414213562373095048801689

// The smallest normalised double and the largest finite double.
#define ON_DBL_MIN 2.22507385850720200e-308
#define ON_DBL_MAX 1.7976931348623158e+308
// The spacing of doubles just above 1.0 (2^-52) and its square root.
#define ON_EPSILON 2.2204460492503131e-16
#define ON_SQRT_EPSILON 1.490116119385000000e-8
// The float counterpart of ON_EPSILON (2^-23).
#define ON_FLT_EPSILON 1.192092896e-07
#define ON_ZERO_TOLERANCE 1.0e-12
// The value openNURBS uses for "not set".
#define ON_UNSET_VALUE -1.23432101234321e+308

#define ON_IS_FINITE(x) (std::isfinite(x))

// A text log for validity reports. The subset writes no reports: functions
// that take one accept a null pointer and ignore any other.
class ON_TextLog;

// True when x is finite and not ON_UNSET_VALUE.
inline bool ON_IsValid(double x) { return x != ON_UNSET_VALUE && std::isfinite(x); }
