#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <type_traits>

#include "opennurbs.h"

namespace {

TEST(ArrayCapacity, GrowsGeometricallyWithoutOverflow) {
  EXPECT_EQ(ON_ArrayGrowCapacity(0, 1, 4), 4);
  EXPECT_EQ(ON_ArrayGrowCapacity(4, 5, 4), 8);
  EXPECT_EQ(ON_ArrayGrowCapacity(1000, 1001, 4), 2000);
  EXPECT_EQ(ON_ArrayGrowCapacity(8, 100, 4), 100);  // at least what is needed
  // Doubling past INT_MAX is clamped, not wrapped.
  EXPECT_EQ(ON_ArrayGrowCapacity(INT_MAX / 2 + 1, INT_MAX / 2 + 2, 1), INT_MAX);
  EXPECT_EQ(ON_ArrayGrowCapacity(INT_MAX - 1, INT_MAX, 1), INT_MAX);
  // Impossible needs give 0.
  EXPECT_EQ(ON_ArrayGrowCapacity(INT_MAX, -1, 1), 0);
  // Large elements: the byte size must fit, so the count limit is lower.
  const size_t big = size_t(1) << 40;
  const int max_big = ON_ArrayMaximumCount(big);
  EXPECT_EQ(max_big, static_cast<int>(PTRDIFF_MAX / big));
  EXPECT_EQ(ON_ArrayGrowCapacity(max_big - 10, max_big - 9, big), max_big);
  EXPECT_EQ(ON_ArrayGrowCapacity(max_big, max_big + 1, big), 0);
  EXPECT_EQ(ON_ArrayMaximumCount(4), INT_MAX);
}

TEST(SimpleArray, AppendGrowsAmortisedAndKeepsValues) {
  ON_SimpleArray<int> a;
  EXPECT_EQ(a.Count(), 0);
  EXPECT_EQ(a.Capacity(), 0);
  EXPECT_EQ(a.Array(), nullptr);
  int reallocations = 0;
  int capacity = a.Capacity();
  const int n = 1000000;
  for (int i = 0; i < n; ++i) {
    a.Append(i * 3);
    if (a.Capacity() != capacity) {
      ++reallocations;
      EXPECT_GE(a.Capacity(), 2 * capacity);  // geometric
      capacity = a.Capacity();
    }
  }
  EXPECT_LE(reallocations, 20);
  ASSERT_EQ(a.Count(), n);
  for (int i = 0; i < n; ++i) ASSERT_EQ(a[i], i * 3);
}

TEST(SimpleArray, AppendOfOwnElementSurvivesReallocation) {
  ON_SimpleArray<double> a;
  a.Append(1.5);
  for (int round = 0; round < 10; ++round) {
    while (a.Count() < a.Capacity()) a.Append(2.0);
    a.Append(a[0]);  // x lives in the memory being reallocated
    EXPECT_EQ(*a.Last(), 1.5);
  }
  while (a.Count() < a.Capacity()) a.Append(2.0);
  a.Insert(0, *a.Last());
  EXPECT_EQ(a[0], 2.0);
  EXPECT_EQ(a[1], 1.5);

  ON_SimpleArray<int> b;
  for (int i = 0; i < 4; ++i) b.Append(i);
  b.SetCapacity(4);
  b.Append(4, b.Array());  // doubles itself
  ASSERT_EQ(b.Count(), 8);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(b[i], i % 4);
}

TEST(SimpleArray, InsertRemoveAndAccess) {
  ON_SimpleArray<int> a(2);
  EXPECT_EQ(a.Capacity(), 2);
  EXPECT_EQ(a.First(), nullptr);
  EXPECT_EQ(a.Last(), nullptr);
  EXPECT_EQ(a.At(0), nullptr);
  for (int i = 0; i < 5; ++i) a.Append(i);  // 0 1 2 3 4
  a.Insert(0, -1);                          // -1 0 1 2 3 4
  a.Insert(3, 99);                          // -1 0 1 99 2 3 4
  a.Insert(a.Count(), 7);                   // ... 4 7
  a.Insert(-1, 5);                          // ignored
  a.Insert(a.Count() + 1, 5);               // ignored
  const int expected[] = {-1, 0, 1, 99, 2, 3, 4, 7};
  ASSERT_EQ(a.Count(), 8);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(a[i], expected[i]);
  a.Remove(3);  // -1 0 1 2 3 4 7
  a.Remove();   // -1 0 1 2 3 4
  a.Remove(0);  // 0 1 2 3 4
  a.Remove(-1);
  a.Remove(5);
  ASSERT_EQ(a.Count(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(a[i], i);
  EXPECT_EQ(*a.First(), 0);
  EXPECT_EQ(*a.Last(), 4);
  EXPECT_EQ(a.At(4), a.Array() + 4);
  EXPECT_EQ(a.At(5), nullptr);
  EXPECT_EQ(a.At(-1), nullptr);
  const ON_SimpleArray<int>& c = a;
  EXPECT_EQ(c.At(2), c.Array() + 2);
  EXPECT_EQ(c[2], 2);
  const int* p = c;  // openNURBS's cast to the element pointer
  EXPECT_EQ(p, c.Array());
  // Any integer type indexes (no ambiguity with the pointer cast's subscript).
  const size_t s = 1;
  const long l = 2;
  const unsigned u = 3;
  const long long ll = 4;
  const short h = 0;
  EXPECT_EQ(a[s] + a[l] + a[u] + a[ll] + a[h], 1 + 2 + 3 + 4);
  EXPECT_EQ(c[s] + c[l], 3);
  ON_ClassArray<std::string> names;
  names.Append("a");
  names.Append("b");
  EXPECT_EQ(names[s], "b");
  EXPECT_EQ(names[static_cast<std::ptrdiff_t>(0)], "a");
}

TEST(SimpleArray, EmptyDestroyZeroAndSetCount) {
  ON_SimpleArray<int> a;
  for (int i = 1; i <= 10; ++i) a.Append(i);
  const int capacity = a.Capacity();
  a.Empty();
  EXPECT_EQ(a.Count(), 0);
  EXPECT_EQ(a.Capacity(), capacity);  // memory kept
  EXPECT_NE(a.Array(), nullptr);
  // New elements from SetCount and AppendNew are zero, not the old values.
  ASSERT_TRUE(a.SetCount(5));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(a[i], 0);
  a[0] = 7;
  a.SetCount(1);
  EXPECT_EQ(a.AppendNew(), 0);
  EXPECT_EQ(a.Count(), 2);
  a[1] = 8;
  a.Zero();
  EXPECT_EQ(a.Count(), 2);
  EXPECT_EQ(a[0], 0);
  EXPECT_EQ(a[1], 0);
  EXPECT_FALSE(a.SetCount(-1));
  EXPECT_EQ(a.Count(), 2);
  ASSERT_TRUE(a.SetCount(1000));  // grows
  EXPECT_GE(a.Capacity(), 1000);
  EXPECT_EQ(a[999], 0);
  ASSERT_TRUE(a.Reserve(10));  // never shrinks
  EXPECT_GE(a.Capacity(), 1000);
  ASSERT_TRUE(a.SetCapacity(3));  // truncates
  EXPECT_EQ(a.Capacity(), 3);
  EXPECT_EQ(a.Count(), 3);
  a.Destroy();
  EXPECT_EQ(a.Count(), 0);
  EXPECT_EQ(a.Capacity(), 0);
  EXPECT_EQ(a.Array(), nullptr);
  a.Append(5);  // usable again
  EXPECT_EQ(a[0], 5);
}

struct Huge {
  char bytes[size_t(1) << 33];  // never instantiated: only its size matters
};

TEST(SimpleArray, RefusesImpossibleSizes) {
  ON_SimpleArray<Huge> a;
  EXPECT_LT(ON_ArrayMaximumCount(sizeof(Huge)), INT_MAX);
  EXPECT_FALSE(a.SetCapacity(INT_MAX));
  EXPECT_FALSE(a.Reserve(INT_MAX));
  EXPECT_FALSE(a.SetCount(INT_MAX));
  EXPECT_EQ(a.Count(), 0);
  EXPECT_EQ(a.Capacity(), 0);
  EXPECT_EQ(a.Array(), nullptr);
}

TEST(SimpleArray, CopiesAreDeep) {
  ON_SimpleArray<int> a;
  for (int i = 0; i < 100; ++i) a.Append(i);
  ON_SimpleArray<int> b(a);
  ASSERT_EQ(b.Count(), 100);
  EXPECT_NE(b.Array(), a.Array());
  b[0] = -5;
  EXPECT_EQ(a[0], 0);
  ON_SimpleArray<int> c;
  c.Append(42);
  c = a;
  ASSERT_EQ(c.Count(), 100);
  EXPECT_EQ(c[99], 99);
  ON_SimpleArray<int> big;
  for (int i = 0; i < 1000; ++i) big.Append(1);
  big = c;  // assigning a smaller array
  EXPECT_EQ(big.Count(), 100);
  EXPECT_EQ(big[50], 50);
  const ON_SimpleArray<int>& self = big;
  big = self;
  EXPECT_EQ(big.Count(), 100);
  ON_SimpleArray<int> empty;
  big = empty;
  EXPECT_EQ(big.Count(), 0);
  ON_SimpleArray<int> moved(std::move(c));
  EXPECT_EQ(moved.Count(), 100);

  ON_3dPointArray points;
  points.Append(ON_3dPoint(1, 2, 3));
  ON_3dPointArray points_copy(points);
  points_copy[0].x = 9;
  EXPECT_EQ(points[0].x, 1.0);
}

// Counts live objects, and checks that every destroyed object was alive.
struct Tracked {
  static int live;
  static int constructed;
  int value = -1;
  int* guard;  // heap memory, so ASan sees a bitwise relocation or double free
  Tracked() : guard(new int(7)) {
    ++live;
    ++constructed;
  }
  explicit Tracked(int v) : Tracked() { value = v; }
  Tracked(const Tracked& o) : Tracked() { value = o.value; }
  Tracked(Tracked&& o) noexcept : value(o.value), guard(o.guard) {
    o.guard = nullptr;
    o.value = -2;
    ++live;
    ++constructed;
  }
  Tracked& operator=(const Tracked& o) {
    value = o.value;
    return *this;
  }
  Tracked& operator=(Tracked&& o) noexcept {
    std::swap(guard, o.guard);
    value = o.value;
    o.value = -2;
    return *this;
  }
  ~Tracked() {
    --live;
    delete guard;
  }
};
int Tracked::live = 0;
int Tracked::constructed = 0;

TEST(ClassArray, ElementLifetimesMatchCount) {
  Tracked::live = 0;
  {
    ON_ClassArray<Tracked> a;
    for (int i = 0; i < 100; ++i) {
      a.Append(Tracked(i));
      ASSERT_EQ(Tracked::live, a.Count());
    }
    EXPECT_GE(a.Capacity(), 100);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(a[i].value, i);
    Tracked& fresh = a.AppendNew();
    EXPECT_EQ(fresh.value, -1);  // a default T, not a moved-from or stale one
    EXPECT_EQ(Tracked::live, 101);
    a.Remove();
    EXPECT_EQ(Tracked::live, 100);
    a.Remove(0);
    EXPECT_EQ(a[0].value, 1);
    EXPECT_EQ(Tracked::live, 99);
    a.Insert(0, Tracked(0));
    a.Insert(50, a[10]);  // an element of the array itself
    EXPECT_EQ(a[50].value, 10);
    EXPECT_EQ(a[51].value, 50);
    EXPECT_EQ(Tracked::live, 101);
    a.Remove(50);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(a[i].value, i);
    EXPECT_TRUE(a.SetCount(120));
    EXPECT_EQ(Tracked::live, 120);
    EXPECT_EQ(a[119].value, -1);
    EXPECT_TRUE(a.SetCount(10));
    EXPECT_EQ(Tracked::live, 10);
    EXPECT_TRUE(a.SetCapacity(5));
    EXPECT_EQ(a.Count(), 5);
    EXPECT_EQ(Tracked::live, 5);
    EXPECT_EQ(a[4].value, 4);
    const int capacity = a.Capacity();
    a.Empty();
    EXPECT_EQ(Tracked::live, 0);
    EXPECT_EQ(a.Capacity(), capacity);
    a.AppendNew().value = 3;
    a.Destroy();
    EXPECT_EQ(Tracked::live, 0);
    EXPECT_EQ(a.Capacity(), 0);
    EXPECT_EQ(a.Array(), nullptr);
    for (int i = 0; i < 7; ++i) a.AppendNew().value = i;
  }
  EXPECT_EQ(Tracked::live, 0);  // the destructor destroys the elements
}

TEST(ClassArray, AppendOfOwnElementSurvivesReallocation) {
  ON_ClassArray<std::string> a;
  a.Append(std::string(100, 'x'));
  for (int round = 0; round < 8; ++round) {
    while (a.Count() < a.Capacity()) a.Append("short");
    a.Append(a[0]);
    EXPECT_EQ(*a.Last(), std::string(100, 'x'));
  }
}

TEST(ClassArray, GrowthMovesShortStringsProperly) {
  // Short strings live inside the string object: a bitwise relocation would
  // leave them pointing into freed memory.
  ON_ClassArray<std::string> a;
  for (int i = 0; i < 1000; ++i) a.Append(std::to_string(i));
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(a[i], std::to_string(i));
  ON_ClassArray<std::unique_ptr<int>> owners;  // move-only elements
  for (int i = 0; i < 100; ++i) owners.AppendNew().reset(new int(i));
  for (int i = 0; i < 100; ++i) ASSERT_EQ(*owners[i], i);
  owners.Remove(0);
  EXPECT_EQ(*owners[0], 1);
}

TEST(ClassArray, CopiesAreDeep) {
  Tracked::live = 0;
  {
    ON_ClassArray<Tracked> a;
    for (int i = 0; i < 10; ++i) a.AppendNew().value = i;
    ON_ClassArray<Tracked> b(a);
    EXPECT_EQ(Tracked::live, 20);
    b[0].value = 100;
    EXPECT_EQ(a[0].value, 0);
    ON_ClassArray<Tracked> c;
    for (int i = 0; i < 30; ++i) c.AppendNew();
    c = a;
    EXPECT_EQ(Tracked::live, 30);
    EXPECT_EQ(c.Count(), 10);
    EXPECT_EQ(c[9].value, 9);
    const ON_ClassArray<Tracked>& self = c;
    c = self;
    EXPECT_EQ(c.Count(), 10);
    ON_ClassArray<Tracked> d(std::move(c));
    EXPECT_EQ(d.Count(), 10);
    EXPECT_EQ(Tracked::live, 30);
    EXPECT_EQ(d.At(10), nullptr);
    EXPECT_EQ(d.At(9)->value, 9);
    EXPECT_EQ(d.First()->value, 0);
    EXPECT_EQ(d.Last()->value, 9);
  }
  EXPECT_EQ(Tracked::live, 0);
  ON_ClassArray<std::string> names;
  names.Append("alpha");
  ON_ClassArray<std::string> copy = names;
  copy[0] += "-beta";
  EXPECT_EQ(names[0], "alpha");
  EXPECT_EQ(copy[0], "alpha-beta");
}

TEST(ClassArray, RefusesImpossibleSizes) {
  ON_ClassArray<std::string> a;
  a.Append("kept");
  EXPECT_FALSE(a.SetCount(-1));
  ON_ClassArray<Huge> huge;
  EXPECT_FALSE(huge.SetCapacity(INT_MAX));
  EXPECT_FALSE(huge.SetCount(INT_MAX));
  EXPECT_EQ(huge.Capacity(), 0);
  EXPECT_EQ(a.Count(), 1);
  EXPECT_EQ(a[0], "kept");
}

static_assert(std::is_base_of<ON_SimpleArray<ON_3fPoint>, ON_3fPointArray>::value, "");
static_assert(std::is_base_of<ON_SimpleArray<ON_3fVector>, ON_3fVectorArray>::value, "");
static_assert(std::is_base_of<ON_SimpleArray<ON_3dPoint>, ON_3dPointArray>::value, "");

}  // namespace
