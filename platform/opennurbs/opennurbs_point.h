// Points and vectors of the openNURBS subset: ON_3dPoint, ON_3dVector (double),
// ON_4dPoint (homogeneous), ON_3fPoint, ON_3fVector (float), with the
// point/vector arrays and the globals ON_origin, ON_xaxis, ON_yaxis, ON_zaxis
// and ON_UNSET_POINT.
//
// Default-constructed points and vectors are (0,0,0). A float type converts to
// its double counterpart implicitly and back only explicitly (that loses
// precision). A point minus a point is a vector; a point plus or minus a
// vector is a point. For vectors, a * b is the dot product (as in openNURBS).
#pragma once

#include "opennurbs_array.h"
#include "opennurbs_defines.h"

class ON_Xform;
class ON_3dVector;
class ON_3fVector;
class ON_3fPoint;

class ON_3dPoint {
 public:
  double x = 0.0, y = 0.0, z = 0.0;

  ON_3dPoint() = default;
  ON_3dPoint(double x, double y, double z) : x(x), y(y), z(z) {}
  ON_3dPoint(const ON_3fPoint& p);  // NOLINT(google-explicit-constructor): exact
  explicit ON_3dPoint(const ON_3dVector& v);
  explicit ON_3dPoint(const double* xyz) : x(xyz[0]), y(xyz[1]), z(xyz[2]) {}

  double& operator[](int i) { return i <= 0 ? x : (i == 1 ? y : z); }
  double operator[](int i) const { return i <= 0 ? x : (i == 1 ? y : z); }

  void Set(double x_, double y_, double z_) { x = x_; y = y_; z = z_; }
  void Zero() { x = y = z = 0.0; }
  // All coordinates finite and not ON_UNSET_VALUE.
  bool IsValid() const { return ON_IsValid(x) && ON_IsValid(y) && ON_IsValid(z); }

  ON_3dPoint& operator*=(double s) { x *= s; y *= s; z *= s; return *this; }
  ON_3dPoint& operator/=(double s) { x /= s; y /= s; z /= s; return *this; }
  ON_3dPoint& operator+=(const ON_3dPoint& p) { x += p.x; y += p.y; z += p.z; return *this; }
  ON_3dPoint& operator-=(const ON_3dPoint& p) { x -= p.x; y -= p.y; z -= p.z; return *this; }
  ON_3dPoint& operator+=(const ON_3dVector& v);
  ON_3dPoint& operator-=(const ON_3dVector& v);

  ON_3dPoint operator*(double s) const { return ON_3dPoint(x * s, y * s, z * s); }
  ON_3dPoint operator/(double s) const { return ON_3dPoint(x / s, y / s, z / s); }
  // Point + point (for averaging), as in openNURBS.
  ON_3dPoint operator+(const ON_3dPoint& p) const { return ON_3dPoint(x + p.x, y + p.y, z + p.z); }
  ON_3dPoint operator+(const ON_3dVector& v) const;
  ON_3dPoint operator-(const ON_3dVector& v) const;
  ON_3dVector operator-(const ON_3dPoint& p) const;
  ON_3dPoint operator-() const { return ON_3dPoint(-x, -y, -z); }

  bool operator==(const ON_3dPoint& p) const { return x == p.x && y == p.y && z == p.z; }
  bool operator!=(const ON_3dPoint& p) const { return !(*this == p); }

  // Euclidean distance, without overflow or underflow in the squares.
  double DistanceTo(const ON_3dPoint& p) const;
  // *this = xform * *this (with the homogeneous divide).
  void Transform(const ON_Xform& xform);
};

class ON_3dVector {
 public:
  double x = 0.0, y = 0.0, z = 0.0;

  ON_3dVector() = default;
  ON_3dVector(double x, double y, double z) : x(x), y(y), z(z) {}
  ON_3dVector(const ON_3fVector& v);  // NOLINT(google-explicit-constructor): exact
  explicit ON_3dVector(const ON_3dPoint& p) : x(p.x), y(p.y), z(p.z) {}
  explicit ON_3dVector(const double* xyz) : x(xyz[0]), y(xyz[1]), z(xyz[2]) {}

  double& operator[](int i) { return i <= 0 ? x : (i == 1 ? y : z); }
  double operator[](int i) const { return i <= 0 ? x : (i == 1 ? y : z); }

  void Set(double x_, double y_, double z_) { x = x_; y = y_; z = z_; }
  void Zero() { x = y = z = 0.0; }
  bool IsZeroVector() const { return x == 0.0 && y == 0.0 && z == 0.0; }
  bool IsTiny(double tolerance = ON_ZERO_TOLERANCE) const {
    return std::fabs(x) <= tolerance && std::fabs(y) <= tolerance && std::fabs(z) <= tolerance;
  }
  bool IsUnitVector() const { return std::fabs(Length() - 1.0) <= ON_SQRT_EPSILON; }
  bool IsValid() const { return ON_IsValid(x) && ON_IsValid(y) && ON_IsValid(z); }

  // Euclidean length, without overflow or underflow in the squares.
  double Length() const;
  double LengthSquared() const { return x * x + y * y + z * z; }
  // Scales to unit length. A zero, non-finite or unscalable vector becomes
  // (0,0,0) and the result is false.
  bool Unitize();
  void Reverse() { x = -x; y = -y; z = -z; }

  // Sets *this to the unit normal of the triangle p0, p1, p2, pointing along
  // (p1-p0) x (p2-p0) (right-hand rule). The cross product is taken at the
  // vertex opposite the longest edge, so its two edges are the shortest and
  // its rounding error the smallest; the points are scaled (by powers of two)
  // first, so tiny and huge coordinates neither underflow nor overflow. When
  // the points are coincident or collinear, or so nearly collinear that the
  // normal is below the rounding error of its computation, or a coordinate is
  // not finite, *this becomes (0,0,0) and the result is false.
  bool PerpendicularTo(const ON_3dPoint& p0, const ON_3dPoint& p1, const ON_3dPoint& p2);
  // Sets *this to a nonzero vector perpendicular to v (not unitised), in the
  // plane of v's largest component and the larger of the other two:
  // (1, 2, 3) gives (0, 3, -2), (0, 0, 1) gives (1, 0, -0). Planes made from
  // a normal take it, unitised, as their x axis. False, and (0,0,0), when v
  // is the zero vector or not finite.
  bool PerpendicularTo(const ON_3dVector& v);

  ON_3dVector& operator*=(double s) { x *= s; y *= s; z *= s; return *this; }
  ON_3dVector& operator/=(double s) { x /= s; y /= s; z /= s; return *this; }
  ON_3dVector& operator+=(const ON_3dVector& v) { x += v.x; y += v.y; z += v.z; return *this; }
  ON_3dVector& operator-=(const ON_3dVector& v) { x -= v.x; y -= v.y; z -= v.z; return *this; }

  ON_3dVector operator-() const { return ON_3dVector(-x, -y, -z); }
  ON_3dVector operator*(double s) const { return ON_3dVector(x * s, y * s, z * s); }
  ON_3dVector operator/(double s) const { return ON_3dVector(x / s, y / s, z / s); }
  ON_3dVector operator+(const ON_3dVector& v) const { return ON_3dVector(x + v.x, y + v.y, z + v.z); }
  ON_3dVector operator-(const ON_3dVector& v) const { return ON_3dVector(x - v.x, y - v.y, z - v.z); }
  ON_3dPoint operator+(const ON_3dPoint& p) const { return ON_3dPoint(x + p.x, y + p.y, z + p.z); }
  // The dot product.
  double operator*(const ON_3dVector& v) const { return x * v.x + y * v.y + z * v.z; }

  bool operator==(const ON_3dVector& v) const { return x == v.x && y == v.y && z == v.z; }
  bool operator!=(const ON_3dVector& v) const { return !(*this == v); }

  // *this = the linear part of xform applied to *this.
  void Transform(const ON_Xform& xform);
};

class ON_3fPoint {
 public:
  float x = 0.0f, y = 0.0f, z = 0.0f;

  ON_3fPoint() = default;
  ON_3fPoint(float x, float y, float z) : x(x), y(y), z(z) {}
  // Rounds each coordinate to the nearest float.
  explicit ON_3fPoint(const ON_3dPoint& p)
      : x(static_cast<float>(p.x)), y(static_cast<float>(p.y)), z(static_cast<float>(p.z)) {}
  explicit ON_3fPoint(const float* xyz) : x(xyz[0]), y(xyz[1]), z(xyz[2]) {}

  float& operator[](int i) { return i <= 0 ? x : (i == 1 ? y : z); }
  float operator[](int i) const { return i <= 0 ? x : (i == 1 ? y : z); }

  void Set(float x_, float y_, float z_) { x = x_; y = y_; z = z_; }
  void Zero() { x = y = z = 0.0f; }
  bool IsValid() const { return std::isfinite(x) && std::isfinite(y) && std::isfinite(z); }

  ON_3fPoint& operator*=(float s) { x *= s; y *= s; z *= s; return *this; }
  ON_3fPoint& operator/=(float s) { x /= s; y /= s; z /= s; return *this; }
  ON_3fPoint& operator+=(const ON_3fVector& v);
  ON_3fPoint& operator-=(const ON_3fVector& v);

  ON_3fPoint operator*(float s) const { return ON_3fPoint(x * s, y * s, z * s); }
  ON_3fPoint operator/(float s) const { return ON_3fPoint(x / s, y / s, z / s); }
  ON_3fPoint operator+(const ON_3fPoint& p) const { return ON_3fPoint(x + p.x, y + p.y, z + p.z); }
  ON_3fPoint operator+(const ON_3fVector& v) const;
  ON_3fPoint operator-(const ON_3fVector& v) const;
  ON_3fVector operator-(const ON_3fPoint& p) const;

  bool operator==(const ON_3fPoint& p) const { return x == p.x && y == p.y && z == p.z; }
  bool operator!=(const ON_3fPoint& p) const { return !(*this == p); }

  double DistanceTo(const ON_3fPoint& p) const { return ON_3dPoint(*this).DistanceTo(ON_3dPoint(p)); }
};

class ON_3fVector {
 public:
  float x = 0.0f, y = 0.0f, z = 0.0f;

  ON_3fVector() = default;
  ON_3fVector(float x, float y, float z) : x(x), y(y), z(z) {}
  explicit ON_3fVector(const ON_3dVector& v)
      : x(static_cast<float>(v.x)), y(static_cast<float>(v.y)), z(static_cast<float>(v.z)) {}
  explicit ON_3fVector(const float* xyz) : x(xyz[0]), y(xyz[1]), z(xyz[2]) {}

  float& operator[](int i) { return i <= 0 ? x : (i == 1 ? y : z); }
  float operator[](int i) const { return i <= 0 ? x : (i == 1 ? y : z); }

  void Set(float x_, float y_, float z_) { x = x_; y = y_; z = z_; }
  void Zero() { x = y = z = 0.0f; }
  bool IsZeroVector() const { return x == 0.0f && y == 0.0f && z == 0.0f; }
  bool IsValid() const { return std::isfinite(x) && std::isfinite(y) && std::isfinite(z); }

  double Length() const { return ON_3dVector(*this).Length(); }
  // Unitises in double and rounds back; false and (0,0,0) as ON_3dVector.
  bool Unitize();
  void Reverse() { x = -x; y = -y; z = -z; }

  ON_3fVector& operator*=(float s) { x *= s; y *= s; z *= s; return *this; }
  ON_3fVector& operator/=(float s) { x /= s; y /= s; z /= s; return *this; }
  ON_3fVector& operator+=(const ON_3fVector& v) { x += v.x; y += v.y; z += v.z; return *this; }
  ON_3fVector& operator-=(const ON_3fVector& v) { x -= v.x; y -= v.y; z -= v.z; return *this; }

  ON_3fVector operator-() const { return ON_3fVector(-x, -y, -z); }
  ON_3fVector operator*(float s) const { return ON_3fVector(x * s, y * s, z * s); }
  ON_3fVector operator/(float s) const { return ON_3fVector(x / s, y / s, z / s); }
  ON_3fVector operator+(const ON_3fVector& v) const { return ON_3fVector(x + v.x, y + v.y, z + v.z); }
  ON_3fVector operator-(const ON_3fVector& v) const { return ON_3fVector(x - v.x, y - v.y, z - v.z); }
  // The dot product.
  float operator*(const ON_3fVector& v) const { return x * v.x + y * v.y + z * v.z; }

  bool operator==(const ON_3fVector& v) const { return x == v.x && y == v.y && z == v.z; }
  bool operator!=(const ON_3fVector& v) const { return !(*this == v); }
};

inline ON_3dPoint::ON_3dPoint(const ON_3fPoint& p) : x(p.x), y(p.y), z(p.z) {}
inline ON_3dPoint::ON_3dPoint(const ON_3dVector& v) : x(v.x), y(v.y), z(v.z) {}
inline ON_3dPoint& ON_3dPoint::operator+=(const ON_3dVector& v) { x += v.x; y += v.y; z += v.z; return *this; }
inline ON_3dPoint& ON_3dPoint::operator-=(const ON_3dVector& v) { x -= v.x; y -= v.y; z -= v.z; return *this; }
inline ON_3dPoint ON_3dPoint::operator+(const ON_3dVector& v) const { return ON_3dPoint(x + v.x, y + v.y, z + v.z); }
inline ON_3dPoint ON_3dPoint::operator-(const ON_3dVector& v) const { return ON_3dPoint(x - v.x, y - v.y, z - v.z); }
inline ON_3dVector ON_3dPoint::operator-(const ON_3dPoint& p) const { return ON_3dVector(x - p.x, y - p.y, z - p.z); }
inline ON_3dVector::ON_3dVector(const ON_3fVector& v) : x(v.x), y(v.y), z(v.z) {}
inline ON_3fPoint& ON_3fPoint::operator+=(const ON_3fVector& v) { x += v.x; y += v.y; z += v.z; return *this; }
inline ON_3fPoint& ON_3fPoint::operator-=(const ON_3fVector& v) { x -= v.x; y -= v.y; z -= v.z; return *this; }
inline ON_3fPoint ON_3fPoint::operator+(const ON_3fVector& v) const { return ON_3fPoint(x + v.x, y + v.y, z + v.z); }
inline ON_3fPoint ON_3fPoint::operator-(const ON_3fVector& v) const { return ON_3fPoint(x - v.x, y - v.y, z - v.z); }
inline ON_3fVector ON_3fPoint::operator-(const ON_3fPoint& p) const { return ON_3fVector(x - p.x, y - p.y, z - p.z); }

inline ON_3dPoint operator*(double s, const ON_3dPoint& p) { return p * s; }
inline ON_3dVector operator*(double s, const ON_3dVector& v) { return v * s; }
inline ON_3fPoint operator*(float s, const ON_3fPoint& p) { return p * s; }
inline ON_3fVector operator*(float s, const ON_3fVector& v) { return v * s; }

inline double ON_DotProduct(const ON_3dVector& a, const ON_3dVector& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline float ON_DotProduct(const ON_3fVector& a, const ON_3fVector& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline ON_3dVector ON_CrossProduct(const ON_3dVector& a, const ON_3dVector& b) {
  return ON_3dVector(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}
inline ON_3fVector ON_CrossProduct(const ON_3fVector& a, const ON_3fVector& b) {
  return ON_3fVector(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

// True when the points are the same within rounding: their distance is at
// most ON_ZERO_TOLERANCE times the larger of 1 and their largest coordinate
// magnitude. False when either is not valid.
bool ON_PointsAreCoincident(const ON_3dPoint& a, const ON_3dPoint& b);
// The same for control points of `dim` coordinates (1 to 3), followed by a
// weight when is_rat: the Euclidean points coincide and the weights are
// equal within ON_ZERO_TOLERANCE relative.
bool ON_PointsAreCoincident(int dim, bool is_rat, const double* a, const double* b);

// Euclidean length of (x, y, z) without overflow or underflow in the squares.
double ON_Length3d(double x, double y, double z);

// A homogeneous point (x, y, z, w): the Euclidean point (x/w, y/w, z/w).
// Rational NURBS keep their control points in this form.
class ON_4dPoint {
 public:
  double x = 0.0, y = 0.0, z = 0.0, w = 0.0;

  ON_4dPoint() = default;
  ON_4dPoint(double x, double y, double z, double w) : x(x), y(y), z(z), w(w) {}
  // The point with weight 1.
  explicit ON_4dPoint(const ON_3dPoint& p) : x(p.x), y(p.y), z(p.z), w(1.0) {}

  double& operator[](int i) { return i <= 0 ? x : (i == 1 ? y : (i == 2 ? z : w)); }
  double operator[](int i) const { return i <= 0 ? x : (i == 1 ? y : (i == 2 ? z : w)); }

  void Set(double x_, double y_, double z_, double w_) { x = x_; y = y_; z = z_; w = w_; }
  void Zero() { x = y = z = w = 0.0; }
  bool IsValid() const { return ON_IsValid(x) && ON_IsValid(y) && ON_IsValid(z) && ON_IsValid(w); }

  bool operator==(const ON_4dPoint& p) const { return x == p.x && y == p.y && z == p.z && w == p.w; }
  bool operator!=(const ON_4dPoint& p) const { return !(*this == p); }
};

extern const ON_3dPoint ON_origin;  // (0,0,0)
extern const ON_3dVector ON_xaxis;  // (1,0,0)
extern const ON_3dVector ON_yaxis;  // (0,1,0)
extern const ON_3dVector ON_zaxis;  // (0,0,1)
// The answer of a point query that has no answer: every coordinate
// ON_UNSET_VALUE, so IsValid() is false.
extern const ON_3dPoint ON_UNSET_POINT;

// Point and vector arrays (ON_SimpleArray with openNURBS's class names).
class ON_3dPointArray : public ON_SimpleArray<ON_3dPoint> {
 public:
  ON_3dPointArray() = default;
  explicit ON_3dPointArray(int initial_capacity) : ON_SimpleArray<ON_3dPoint>(initial_capacity) {}
  ON_3dPointArray(const ON_SimpleArray<ON_3dPoint>& a) : ON_SimpleArray<ON_3dPoint>(a) {}  // NOLINT
};

class ON_3fPointArray : public ON_SimpleArray<ON_3fPoint> {
 public:
  ON_3fPointArray() = default;
  explicit ON_3fPointArray(int initial_capacity) : ON_SimpleArray<ON_3fPoint>(initial_capacity) {}
  ON_3fPointArray(const ON_SimpleArray<ON_3fPoint>& a) : ON_SimpleArray<ON_3fPoint>(a) {}  // NOLINT
};

class ON_3fVectorArray : public ON_SimpleArray<ON_3fVector> {
 public:
  ON_3fVectorArray() = default;
  explicit ON_3fVectorArray(int initial_capacity) : ON_SimpleArray<ON_3fVector>(initial_capacity) {}
  ON_3fVectorArray(const ON_SimpleArray<ON_3fVector>& a) : ON_SimpleArray<ON_3fVector>(a) {}  // NOLINT
};
