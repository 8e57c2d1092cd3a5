// Global memory blocks. Every live block is in one table, so that a freed or
// unknown handle fails instead of reaching memory that is gone.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

namespace stand_in {
namespace {

struct Block {
  bool moveable = false;
  void* data = nullptr;
  SIZE_T size = 0;
  unsigned locks = 0;
};

struct Globals {
  std::mutex mutex;
  uintptr_t next = 0x6f000000;  // moveable handles, never reused
  std::map<uintptr_t, Block> blocks;

  // The live block of `handle`; null with ERROR_INVALID_HANDLE for any other.
  Block* Find(HGLOBAL handle) {
    auto it = blocks.find(reinterpret_cast<uintptr_t>(handle));
    if (it != blocks.end()) return &it->second;
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
};

Globals& State() {
  static Globals globals;
  return globals;
}

constexpr UINT kFlags = GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_MODIFY;

}  // namespace
}  // namespace stand_in

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
  using namespace stand_in;
  if (flags & ~UINT(GMEM_MOVEABLE | GMEM_ZEROINIT)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const bool moveable = flags & GMEM_MOVEABLE;
  // A moveable block of no bytes has no memory (Windows calls it discarded).
  void* data = nullptr;
  if (bytes || !moveable) {
    data = (flags & GMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
    if (!data) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
  }
  Globals& g = State();
  std::lock_guard<std::mutex> lock(g.mutex);
  try {
    const uintptr_t handle = moveable ? (g.next += 8) : reinterpret_cast<uintptr_t>(data);
    Block& block = g.blocks[handle];
    block.moveable = moveable;
    block.data = data;
    block.size = bytes;
    return reinterpret_cast<HGLOBAL>(handle);
  } catch (const std::bad_alloc&) {
    std::free(data);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

HGLOBAL WINAPI GlobalReAlloc(HGLOBAL memory, SIZE_T bytes, UINT flags) {
  using namespace stand_in;
  Globals& g = State();
  std::lock_guard<std::mutex> lock(g.mutex);
  Block* block = g.Find(memory);
  if (!block || (flags & ~kFlags)) {
    SetLastError(block ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (flags & GMEM_MODIFY) return memory;  // attributes only; none of them is kept here
  const bool mayMove = flags & GMEM_MOVEABLE;
  if (bytes == block->size) return memory;
  // Memory moves whenever it grows here, so a block that may not move can
  // only shrink.
  if (bytes > block->size && !mayMove) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (bytes == 0 && block->moveable) {
    if (block->locks) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    std::free(block->data);
    block->data = nullptr;
    block->size = 0;
    return memory;
  }
  void* data = block->data;
  if (bytes > block->size) {
    // Moved to fresh memory, so that the old address is dead as Windows
    // leaves it, and a stale pointer shows under the sanitizers.
    data = std::malloc(bytes);
    if (!data) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    if (block->size) std::memcpy(data, block->data, block->size);
    std::memset(static_cast<char*>(data) + block->size, 0, (flags & GMEM_ZEROINIT) ? bytes - block->size : 0);
  } else if (!data) {
    data = std::malloc(1);
    if (!data) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
  }
  if (block->moveable) {
    if (data != block->data) std::free(block->data);
    block->data = data;
    block->size = bytes;
    return memory;
  }
  // A fixed block's handle is its address.
  if (data == block->data) {
    block->size = bytes;
    return memory;
  }
  try {
    Block moved = *block;
    moved.data = data;
    moved.size = bytes;
    g.blocks[reinterpret_cast<uintptr_t>(data)] = moved;
  } catch (const std::bad_alloc&) {
    std::free(data);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  std::free(block->data);
  g.blocks.erase(reinterpret_cast<uintptr_t>(memory));
  return reinterpret_cast<HGLOBAL>(data);
}

LPVOID WINAPI GlobalLock(HGLOBAL memory) {
  using namespace stand_in;
  Globals& g = State();
  std::lock_guard<std::mutex> lock(g.mutex);
  Block* block = g.Find(memory);
  if (!block) return nullptr;
  if (!block->moveable) return block->data;
  if (!block->data) {
    SetLastError(ERROR_DISCARDED);
    return nullptr;
  }
  ++block->locks;
  return block->data;
}

BOOL WINAPI GlobalUnlock(HGLOBAL memory) {
  using namespace stand_in;
  Globals& g = State();
  std::lock_guard<std::mutex> lock(g.mutex);
  Block* block = g.Find(memory);
  if (!block) return FALSE;
  if (block->locks == 0) {
    SetLastError(ERROR_NOT_LOCKED);
    return FALSE;
  }
  if (--block->locks) return TRUE;
  SetLastError(NO_ERROR);
  return FALSE;
}

SIZE_T WINAPI GlobalSize(HGLOBAL memory) {
  using namespace stand_in;
  Globals& g = State();
  std::lock_guard<std::mutex> lock(g.mutex);
  Block* block = g.Find(memory);
  if (!block) return 0;
  return block->size;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL memory) {
  using namespace stand_in;
  Globals& g = State();
  std::lock_guard<std::mutex> lock(g.mutex);
  Block* block = g.Find(memory);
  if (!block) return memory;
  std::free(block->data);
  g.blocks.erase(reinterpret_cast<uintptr_t>(memory));
  return nullptr;
}
