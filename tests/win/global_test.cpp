// Global memory blocks: handles, locks, resizing and freeing.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(GlobalMemory, MoveableBlocksCountTheirLocks) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 10);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GlobalSize(block), 10u);
  void* first = GlobalLock(block);
  ASSERT_NE(first, nullptr);
  EXPECT_NE(first, block);  // a moveable block's handle is not its address
  EXPECT_EQ(GlobalLock(block), first);
  EXPECT_TRUE(GlobalUnlock(block));  // still locked once
  SetLastError(1234);
  EXPECT_FALSE(GlobalUnlock(block));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));
  SetLastError(0);
  EXPECT_FALSE(GlobalUnlock(block));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_LOCKED));
  EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(GlobalMemory, AFreedHandleNamesNothing) {
  HGLOBAL moveable = GlobalAlloc(GHND, 8);
  HGLOBAL fixed = GlobalAlloc(GMEM_FIXED, 8);
  ASSERT_NE(moveable, nullptr);
  ASSERT_NE(fixed, nullptr);
  ASSERT_NE(GlobalLock(moveable), nullptr);  // freed even while locked
  EXPECT_EQ(GlobalFree(moveable), nullptr);
  EXPECT_EQ(GlobalFree(fixed), nullptr);
  int dummy = 0;
  for (HGLOBAL bad : {moveable, HGLOBAL(nullptr), HGLOBAL(&dummy)}) {
    SetLastError(0);
    EXPECT_EQ(GlobalLock(bad), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0);
    EXPECT_EQ(GlobalSize(bad), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(GlobalUnlock(bad));
    EXPECT_EQ(GlobalReAlloc(bad, 16, GMEM_MOVEABLE), nullptr);
    EXPECT_EQ(GlobalFree(bad), bad);
  }
  // Moveable handles are not given out again.
  HGLOBAL next = GlobalAlloc(GMEM_MOVEABLE, 8);
  EXPECT_NE(next, moveable);
  GlobalFree(next);
}

TEST(GlobalMemory, FixedBlocksAreTheirAddress) {
  HGLOBAL block = GlobalAlloc(GPTR, 32);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GlobalLock(block), block);
  const auto* bytes = static_cast<const unsigned char*>(block);
  for (int i = 0; i < 32; ++i) ASSERT_EQ(bytes[i], 0) << i;
  GlobalUnlock(block);
  EXPECT_EQ(GlobalSize(block), 32u);
  EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(GlobalMemory, ReAllocKeepsTheContents) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 4);
  ASSERT_NE(block, nullptr);
  std::memcpy(GlobalLock(block), "abcd", 4);
  GlobalUnlock(block);

  // Growing needs leave to move; without it nothing changes.
  EXPECT_EQ(GlobalReAlloc(block, 4096, 0), nullptr);
  EXPECT_EQ(GlobalSize(block), 4u);
  EXPECT_EQ(GlobalReAlloc(block, 4096, GMEM_MOVEABLE | GMEM_ZEROINIT), block);
  EXPECT_EQ(GlobalSize(block), 4096u);
  auto* bytes = static_cast<unsigned char*>(GlobalLock(block));
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(std::memcmp(bytes, "abcd", 4), 0);
  for (int i = 4; i < 4096; ++i) ASSERT_EQ(bytes[i], 0) << i;
  GlobalUnlock(block);
  // Shrinking stays in place.
  EXPECT_EQ(GlobalReAlloc(block, 2, 0), block);
  EXPECT_EQ(GlobalSize(block), 2u);
  EXPECT_EQ(std::memcmp(GlobalLock(block), "ab", 2), 0);
  GlobalUnlock(block);
  GlobalFree(block);

  // A fixed block that moves gets a new handle, and the old one is gone.
  HGLOBAL fixed = GlobalAlloc(GMEM_FIXED, 3);
  std::memcpy(fixed, "xyz", 3);
  HGLOBAL moved = GlobalReAlloc(fixed, 100000, GMEM_MOVEABLE);
  ASSERT_NE(moved, nullptr);
  EXPECT_EQ(GlobalLock(moved), moved);
  EXPECT_EQ(std::memcmp(moved, "xyz", 3), 0);
  EXPECT_EQ(GlobalSize(moved), 100000u);
  if (moved != fixed) {
    EXPECT_EQ(GlobalSize(fixed), 0u);
  }
  GlobalFree(moved);
}

TEST(GlobalMemory, AnEmptyMoveableBlockHasNoMemory) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 0);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GlobalSize(block), 0u);
  SetLastError(0);
  EXPECT_EQ(GlobalLock(block), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISCARDED));
  ASSERT_EQ(GlobalReAlloc(block, 5, GMEM_MOVEABLE), block);
  EXPECT_NE(GlobalLock(block), nullptr);
  GlobalUnlock(block);
  EXPECT_EQ(GlobalFree(block), nullptr);
  EXPECT_EQ(GlobalAlloc(0x8000, 4), nullptr);  // a flag that is none
}

}  // namespace
