// Floats as words for exact comparison and hashing: what vertex merging and
// the topology both key vertices by. Not part of the public subset.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

namespace on_float_words {

// A float's bits, with -0 taken as +0 so that equal floats have equal words.
inline std::uint32_t Word(float f) {
  if (f == 0.0f) f = 0.0f;
  std::uint32_t u;
  std::memcpy(&u, &f, sizeof(u));
  return u;
}

// A point's or vector's x, y, z as three words; false, with nothing
// written, when one is a NaN, which equals nothing.
template <class P>
bool Words3(const P& p, std::uint32_t* w) {
  if (std::isnan(p.x) || std::isnan(p.y) || std::isnan(p.z)) return false;
  w[0] = Word(p.x);
  w[1] = Word(p.y);
  w[2] = Word(p.z);
  return true;
}

}  // namespace on_float_words
