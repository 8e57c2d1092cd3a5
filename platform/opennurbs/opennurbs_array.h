// Dynamic arrays of the openNURBS subset.
//
// ON_SimpleArray<T> holds plain (trivially copyable) types and grows by
// memcpy; ON_ClassArray<T> holds classes, whose elements it constructs,
// copies, moves and destroys properly (only the Count() live elements exist;
// the spare capacity is raw memory).
//
// Sizes are int, as in openNURBS. Growth is geometric (the capacity doubles),
// so a run of Append calls costs amortised O(1) each, and the capacity never
// goes past ON_ArrayMaximumCount(sizeof(T)).
//
// When memory cannot be had, the two kinds of request behave differently:
//  - explicit size requests (Reserve, SetCapacity, SetCount) refuse: they
//    return false and leave the array as it was, so a count read from a file
//    can be tried and checked;
//  - growth by an element (Append, AppendNew, Insert) and copying (copy
//    constructor and assignment) throw std::bad_alloc, as operator new does,
//    and leave the array as it was.
#pragma once

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

// The largest element count an array of elements of this size may have: it
// fits an int, and its byte size fits a ptrdiff_t.
constexpr int ON_ArrayMaximumCount(size_t element_size) {
  return (element_size == 0 || static_cast<size_t>(PTRDIFF_MAX) / element_size >= static_cast<size_t>(INT_MAX))
             ? INT_MAX
             : static_cast<int>(static_cast<size_t>(PTRDIFF_MAX) / element_size);
}

// The capacity an array grows to when it holds `capacity` elements and needs
// room for `minimum_capacity`: double the current capacity (at least 4), at
// least minimum_capacity, at most ON_ArrayMaximumCount(element_size). Returns
// 0 when minimum_capacity itself is impossible (negative or above the maximum).
// Never overflows.
constexpr int ON_ArrayGrowCapacity(int capacity, int minimum_capacity, size_t element_size) {
  const int maximum = ON_ArrayMaximumCount(element_size);
  if (minimum_capacity < 0 || minimum_capacity > maximum) return 0;
  if (capacity < 0) capacity = 0;
  int grown = (capacity > maximum / 2) ? maximum : (capacity < 2 ? 4 : 2 * capacity);
  if (grown > maximum) grown = maximum;
  return grown < minimum_capacity ? minimum_capacity : grown;
}

namespace ON_ArrayDetail {
// True when 0 <= i < count, for an index of any integer type.
template <class I>
constexpr bool InRange(I i, int count) {
  if constexpr (std::is_signed<I>::value)
    return i >= 0 && static_cast<long long>(i) < count;
  else
    return static_cast<unsigned long long>(i) < static_cast<unsigned long long>(count);
}
// True when p points into the `count` elements starting at a.
template <class T>
bool PointsInto(const T* p, const T* a, int count) {
  const auto u = reinterpret_cast<std::uintptr_t>(p);
  const auto b = reinterpret_cast<std::uintptr_t>(a);
  return a != nullptr && u >= b && u < b + static_cast<std::uintptr_t>(count) * sizeof(T);
}
}  // namespace ON_ArrayDetail

////////////////////////////////////////////////////////////////////////////
// ON_SimpleArray<T>: for plain types (ints, doubles, pointers, points,
// ON_MeshFace, ...). Elements are copied with memcpy; new elements made by
// AppendNew and SetCount are zero-filled.

template <class T>
class ON_SimpleArray {
  static_assert(std::is_trivially_copyable<T>::value,
                "ON_SimpleArray copies elements with memcpy: use ON_ClassArray for this type");
  static_assert(alignof(T) <= alignof(std::max_align_t), "over-aligned element type");

 public:
  ON_SimpleArray() noexcept = default;
  // An empty array with room for `initial_capacity` elements (throws
  // std::bad_alloc when that cannot be had).
  explicit ON_SimpleArray(int initial_capacity) {
    if (initial_capacity > 0 && !SetCapacity(initial_capacity)) throw std::bad_alloc();
  }
  ~ON_SimpleArray() { std::free(m_a); }

  ON_SimpleArray(const ON_SimpleArray& src) { *this = src; }
  ON_SimpleArray& operator=(const ON_SimpleArray& src) {
    if (this == &src) return *this;
    if (src.m_count > m_capacity) {
      T* a = Allocate(src.m_count);
      if (!a) throw std::bad_alloc();
      std::free(m_a);
      m_a = a;
      m_capacity = src.m_count;
    }
    if (src.m_count > 0) std::memcpy(static_cast<void*>(m_a), src.m_a, Bytes(src.m_count));
    m_count = src.m_count;
    return *this;
  }
  ON_SimpleArray(ON_SimpleArray&& src) noexcept
      : m_a(src.m_a), m_count(src.m_count), m_capacity(src.m_capacity) {
    src.m_a = nullptr;
    src.m_count = src.m_capacity = 0;
  }
  ON_SimpleArray& operator=(ON_SimpleArray&& src) noexcept {
    if (this != &src) {
      std::free(m_a);
      m_a = src.m_a;
      m_count = src.m_count;
      m_capacity = src.m_capacity;
      src.m_a = nullptr;
      src.m_count = src.m_capacity = 0;
    }
    return *this;
  }

  int Count() const { return m_count; }
  int Capacity() const { return m_capacity; }

  // Unchecked access (asserted in builds without NDEBUG). Any integer type
  // may index; the overloads keep a[i] from being ambiguous with the
  // built-in subscript through the pointer cast below.
  T& operator[](int i) {
    assert(i >= 0 && i < m_count);
    return m_a[i];
  }
  const T& operator[](int i) const {
    assert(i >= 0 && i < m_count);
    return m_a[i];
  }
  template <class I, typename std::enable_if<std::is_integral<I>::value, int>::type = 0>
  T& operator[](I i) {
    assert(ON_ArrayDetail::InRange(i, m_count));
    return m_a[i];
  }
  template <class I, typename std::enable_if<std::is_integral<I>::value, int>::type = 0>
  const T& operator[](I i) const {
    assert(ON_ArrayDetail::InRange(i, m_count));
    return m_a[i];
  }
  // As in openNURBS, the array converts to a pointer to its first element
  // (null when it has no memory).
  operator T*() { return m_a; }
  operator const T*() const { return m_a; }

  // The element's address, or null when i is out of range.
  T* At(int i) { return (i >= 0 && i < m_count) ? m_a + i : nullptr; }
  const T* At(int i) const { return (i >= 0 && i < m_count) ? m_a + i : nullptr; }
  // The first and last elements, null when the array is empty.
  T* First() { return m_count > 0 ? m_a : nullptr; }
  const T* First() const { return m_count > 0 ? m_a : nullptr; }
  T* Last() { return m_count > 0 ? m_a + (m_count - 1) : nullptr; }
  const T* Last() const { return m_count > 0 ? m_a + (m_count - 1) : nullptr; }
  // The memory, null when none is allocated.
  T* Array() { return m_a; }
  const T* Array() const { return m_a; }

  // Makes the capacity at least `capacity`. False (and no change) when that
  // cannot be had.
  bool Reserve(int capacity) { return capacity <= m_capacity || SetCapacity(capacity); }

  // Sets the capacity exactly; a capacity below Count() drops the elements
  // past it, and 0 (or less) frees the memory. False (and no change) when the
  // capacity cannot be had.
  bool SetCapacity(int capacity) {
    if (capacity <= 0) {
      Destroy();
      return true;
    }
    if (capacity == m_capacity) return true;
    if (capacity > ON_ArrayMaximumCount(sizeof(T))) return false;
    void* a = std::realloc(static_cast<void*>(m_a), Bytes(capacity));
    if (!a) return false;
    m_a = static_cast<T*>(a);
    m_capacity = capacity;
    if (m_count > capacity) m_count = capacity;
    return true;
  }

  // Sets the count; elements it adds are zero-filled. False (and no change)
  // when count is negative or the memory cannot be had.
  bool SetCount(int count) {
    if (count < 0) return false;
    if (count > m_capacity && !SetCapacity(count)) return false;
    if (count > m_count) std::memset(static_cast<void*>(m_a + m_count), 0, Bytes(count - m_count));
    m_count = count;
    return true;
  }

  // Makes the capacity equal to the count.

  // Appends a zero-filled element and returns it.
  T& AppendNew() {
    if (m_count == m_capacity) Grow(m_count + 1);
    T* p = m_a + m_count;
    std::memset(static_cast<void*>(p), 0, sizeof(T));
    ++m_count;
    return *p;
  }

  // Appends a copy of x (which may be an element of this array).
  void Append(const T& x) {
    if (m_count == m_capacity) {
      const T copy = x;  // x may live in the memory that Grow moves
      Grow(m_count + 1);
      m_a[m_count++] = copy;
    } else {
      m_a[m_count++] = x;
    }
  }

  // Appends `count` elements copied from p (which may point into this array).
  void Append(int count, const T* p) {
    if (count <= 0 || !p) return;
    if (count > ON_ArrayMaximumCount(sizeof(T)) - m_count) throw std::bad_alloc();
    if (m_count + count > m_capacity) {
      const bool inside = ON_ArrayDetail::PointsInto(p, m_a, m_count);
      const std::ptrdiff_t offset = inside ? p - m_a : 0;
      Grow(m_count + count);
      if (inside) p = m_a + offset;
    }
    std::memmove(static_cast<void*>(m_a + m_count), p, Bytes(count));
    m_count += count;
  }

  // Inserts a copy of x before element i (0 <= i <= Count(); other values are
  // ignored).
  void Insert(int i, const T& x) {
    if (i < 0 || i > m_count) return;
    const T copy = x;
    if (m_count == m_capacity) Grow(m_count + 1);
    if (i < m_count) std::memmove(static_cast<void*>(m_a + i + 1), m_a + i, Bytes(m_count - i));
    m_a[i] = copy;
    ++m_count;
  }

  // Removes the last element (none when empty).
  void Remove() {
    if (m_count > 0) --m_count;
  }
  // Removes element i, moving the later ones down (ignored out of range).
  void Remove(int i) {
    if (i < 0 || i >= m_count) return;
    if (i < m_count - 1) std::memmove(static_cast<void*>(m_a + i), m_a + i + 1, Bytes(m_count - 1 - i));
    --m_count;
  }

  // Count 0, memory kept.
  void Empty() { m_count = 0; }
  // Count 0, memory freed.
  void Destroy() {
    std::free(m_a);
    m_a = nullptr;
    m_count = m_capacity = 0;
  }
  // Zero-fills the whole capacity; the count is unchanged.
  void Zero() {
    if (m_a) std::memset(static_cast<void*>(m_a), 0, Bytes(m_capacity));
  }

 private:
  static size_t Bytes(int count) { return static_cast<size_t>(count) * sizeof(T); }
  static T* Allocate(int count) {
    return count > ON_ArrayMaximumCount(sizeof(T)) ? nullptr : static_cast<T*>(std::malloc(Bytes(count)));
  }
  // Grows geometrically to hold at least `needed` elements; throws
  // std::bad_alloc (array unchanged) when that is impossible.
  void Grow(int needed) {
    const int capacity = ON_ArrayGrowCapacity(m_capacity, needed, sizeof(T));
    if (capacity == 0 || !SetCapacity(capacity)) {
      // Doubling may ask for more than the machine has; try the exact need.
      if (capacity == needed || needed <= m_capacity || !SetCapacity(needed)) throw std::bad_alloc();
    }
  }

  T* m_a = nullptr;
  int m_count = 0;
  int m_capacity = 0;
};

////////////////////////////////////////////////////////////////////////////
// ON_ClassArray<T>: for classes with constructors and destructors. Exactly the
// Count() elements are live objects: AppendNew and SetCount construct fresh
// default (value-initialised) elements, Remove, Empty, SetCount, SetCapacity
// and Destroy destroy the ones they drop, and growth moves elements (or copies
// them when their move may throw) into the new memory.

template <class T>
class ON_ClassArray {
  static_assert(alignof(T) <= alignof(std::max_align_t), "over-aligned element type");

 public:
  ON_ClassArray() noexcept = default;
  explicit ON_ClassArray(int initial_capacity) {
    if (initial_capacity > 0 && !SetCapacity(initial_capacity)) throw std::bad_alloc();
  }
  ~ON_ClassArray() { Destroy(); }

  ON_ClassArray(const ON_ClassArray& src) {
    if (src.m_count == 0) return;
    T* a = Allocate(src.m_count);
    if (!a) throw std::bad_alloc();
    try {
      std::uninitialized_copy(src.m_a, src.m_a + src.m_count, a);
    } catch (...) {
      std::free(a);
      throw;
    }
    m_a = a;
    m_count = m_capacity = src.m_count;
  }
  ON_ClassArray& operator=(const ON_ClassArray& src) {
    if (this != &src) {
      ON_ClassArray copy(src);
      Swap(copy);
    }
    return *this;
  }
  ON_ClassArray(ON_ClassArray&& src) noexcept { Swap(src); }
  ON_ClassArray& operator=(ON_ClassArray&& src) noexcept {
    if (this != &src) {
      Destroy();
      Swap(src);
    }
    return *this;
  }
  void Swap(ON_ClassArray& other) noexcept {
    std::swap(m_a, other.m_a);
    std::swap(m_count, other.m_count);
    std::swap(m_capacity, other.m_capacity);
  }

  int Count() const { return m_count; }
  int Capacity() const { return m_capacity; }

  T& operator[](int i) {
    assert(i >= 0 && i < m_count);
    return m_a[i];
  }
  const T& operator[](int i) const {
    assert(i >= 0 && i < m_count);
    return m_a[i];
  }
  template <class I, typename std::enable_if<std::is_integral<I>::value, int>::type = 0>
  T& operator[](I i) {
    assert(ON_ArrayDetail::InRange(i, m_count));
    return m_a[i];
  }
  template <class I, typename std::enable_if<std::is_integral<I>::value, int>::type = 0>
  const T& operator[](I i) const {
    assert(ON_ArrayDetail::InRange(i, m_count));
    return m_a[i];
  }
  operator T*() { return m_a; }
  operator const T*() const { return m_a; }

  T* At(int i) { return (i >= 0 && i < m_count) ? m_a + i : nullptr; }
  const T* At(int i) const { return (i >= 0 && i < m_count) ? m_a + i : nullptr; }
  T* First() { return m_count > 0 ? m_a : nullptr; }
  const T* First() const { return m_count > 0 ? m_a : nullptr; }
  T* Last() { return m_count > 0 ? m_a + (m_count - 1) : nullptr; }
  const T* Last() const { return m_count > 0 ? m_a + (m_count - 1) : nullptr; }
  T* Array() { return m_a; }
  const T* Array() const { return m_a; }

  bool Reserve(int capacity) { return capacity <= m_capacity || SetCapacity(capacity); }

  // Sets the capacity exactly; elements past a smaller capacity are
  // destroyed, and 0 (or less) destroys all and frees the memory. False (and
  // no change) when the memory cannot be had.
  bool SetCapacity(int capacity) {
    if (capacity <= 0) {
      Destroy();
      return true;
    }
    if (capacity == m_capacity) return true;
    T* a = Allocate(capacity);
    if (!a) return false;
    const int keep = std::min(m_count, capacity);
    try {
      Relocate(m_a, keep, a);
    } catch (...) {
      std::free(a);
      throw;
    }
    std::destroy(m_a, m_a + m_count);
    std::free(m_a);
    m_a = a;
    m_count = keep;
    m_capacity = capacity;
    return true;
  }

  // Sets the count: added elements are value-initialised, dropped ones
  // destroyed. False (and no change) when count is negative or the memory
  // cannot be had.
  bool SetCount(int count) {
    if (count < 0) return false;
    if (count > m_capacity && !SetCapacity(count)) return false;
    while (m_count < count) {
      ::new (static_cast<void*>(m_a + m_count)) T();
      ++m_count;
    }
    Truncate(count);
    return true;
  }


  // Appends a freshly constructed default element and returns it.
  T& AppendNew() {
    if (m_count == m_capacity) Grow(m_count + 1);
    T* p = ::new (static_cast<void*>(m_a + m_count)) T();
    ++m_count;
    return *p;
  }

  // Appends a copy of x (which may be an element of this array).
  void Append(const T& x) {
    if (m_count == m_capacity) {
      T copy(x);
      Grow(m_count + 1);
      ::new (static_cast<void*>(m_a + m_count)) T(std::move(copy));
    } else {
      ::new (static_cast<void*>(m_a + m_count)) T(x);
    }
    ++m_count;
  }

  // Inserts a copy of x before element i (0 <= i <= Count(); other values are
  // ignored).
  void Insert(int i, const T& x) {
    if (i < 0 || i > m_count) return;
    T copy(x);
    if (m_count == m_capacity) Grow(m_count + 1);
    if (i == m_count) {
      ::new (static_cast<void*>(m_a + m_count)) T(std::move(copy));
    } else {
      ::new (static_cast<void*>(m_a + m_count)) T(std::move(m_a[m_count - 1]));
      std::move_backward(m_a + i, m_a + m_count - 1, m_a + m_count);
      m_a[i] = std::move(copy);
    }
    ++m_count;
  }

  void Remove() { Truncate(m_count - 1); }
  void Remove(int i) {
    if (i < 0 || i >= m_count) return;
    std::move(m_a + i + 1, m_a + m_count, m_a + i);
    Truncate(m_count - 1);
  }

  // Destroys the elements, keeps the memory.
  void Empty() { Truncate(0); }
  // Destroys the elements and frees the memory.
  void Destroy() {
    Truncate(0);
    std::free(m_a);
    m_a = nullptr;
    m_capacity = 0;
  }

 private:
  static T* Allocate(int count) {
    return count > ON_ArrayMaximumCount(sizeof(T))
               ? nullptr
               : static_cast<T*>(std::malloc(static_cast<size_t>(count) * sizeof(T)));
  }
  static void Relocate(T* from, int count, T* to) {
    if constexpr (std::is_nothrow_move_constructible<T>::value || !std::is_copy_constructible<T>::value)
      std::uninitialized_move(from, from + count, to);
    else
      std::uninitialized_copy(from, from + count, to);
  }
  void Truncate(int count) {
    if (count < 0) count = 0;
    while (m_count > count) {
      --m_count;
      m_a[m_count].~T();
    }
  }
  void Grow(int needed) {
    const int capacity = ON_ArrayGrowCapacity(m_capacity, needed, sizeof(T));
    if (capacity == 0 || !SetCapacity(capacity)) {
      if (capacity == needed || needed <= m_capacity || !SetCapacity(needed)) throw std::bad_alloc();
    }
  }

  T* m_a = nullptr;
  int m_count = 0;
  int m_capacity = 0;
};
