// The input of the sketch-read fuzzer, shared with its seed writer: what a
// stand-in sketch answers for each kind of entity (lines, arcs, splines,
// polylines, in that order).
//
// Four headers of 12 bytes, one per kind, then each kind's pool of doubles
// in the same order; everything little-endian, and bytes past the end of the
// input read as zeros. A header is:
//   int32  count   the count call's count (of lines, arcs, or records)
//   int32  size    the sized count calls' number of doubles (splines and
//                  polylines; unused for lines and arcs)
//   uint8  count call: its result in bits 0-2 (see ResultOf), and in bit 3
//          whether it writes its counts even when it fails
//   uint8  data call: its result in bits 0-2
//   uint16 the number of doubles in this kind's pool
// The data call writes exactly the room its count call promised, cycling
// through the pool (zeros when it is empty).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace sketch_read_fuzz {

enum Kind { kLines, kArcs, kSplines, kPolylines, kKinds };

constexpr size_t kHeaderBytes = 12;
constexpr uint8_t kWritesWhenFailing = 8;

// Results by selector: mostly success, then each failure a host gives.
enum Result : uint8_t { kOk = 0, kFalse = 5, kFail = 6, kOutOfMemory = 7 };

inline HRESULT ResultOf(uint8_t selector) {
  switch (selector & 7) {
    case kFalse:
      return S_FALSE;
    case kFail:
      return E_FAIL;
    case kOutOfMemory:
      return E_OUTOFMEMORY;
    default:
      return S_OK;
  }
}

struct KindInput {
  int32_t count = 0;
  int32_t size = 0;
  uint8_t countCall = kOk;
  uint8_t dataCall = kOk;
  std::vector<double> pool;
};

// Reads little-endian values from the input, zeros past its end.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  template <class T>
  T Take() {
    uint8_t bytes[sizeof(T)] = {};
    for (size_t i = 0; i < sizeof(T) && at_ < size_; ++i) bytes[i] = data_[at_++];
    T value;
    std::memcpy(&value, bytes, sizeof(T));
    return value;
  }
  bool Done() const { return at_ >= size_; }

 private:
  const uint8_t* data_;
  size_t size_, at_ = 0;
};

inline void Decode(const uint8_t* data, size_t size, KindInput (&kinds)[kKinds]) {
  Reader in(data, size);
  uint16_t doubles[kKinds];
  for (int k = 0; k < kKinds; ++k) {
    kinds[k].count = in.Take<int32_t>();
    kinds[k].size = in.Take<int32_t>();
    kinds[k].countCall = in.Take<uint8_t>();
    kinds[k].dataCall = in.Take<uint8_t>();
    doubles[k] = in.Take<uint16_t>();
  }
  for (int k = 0; k < kKinds; ++k)
    for (uint16_t i = 0; i < doubles[k] && !in.Done(); ++i) kinds[k].pool.push_back(in.Take<double>());
}

template <class T>
void Put(std::vector<uint8_t>& out, T value) {
  uint8_t bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  out.insert(out.end(), bytes, bytes + sizeof(T));
}

inline std::vector<uint8_t> Encode(const KindInput (&kinds)[kKinds]) {
  std::vector<uint8_t> out;
  for (const KindInput& kind : kinds) {
    Put(out, kind.count);
    Put(out, kind.size);
    Put(out, kind.countCall);
    Put(out, kind.dataCall);
    Put(out, static_cast<uint16_t>(kind.pool.size()));
  }
  for (const KindInput& kind : kinds)
    for (double value : kind.pool) Put(out, value);
  return out;
}

}  // namespace sketch_read_fuzz
