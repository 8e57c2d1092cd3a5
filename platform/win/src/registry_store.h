// The registry's tree in memory, its text form and its file (stand_in/registry.h).
#pragma once

#include <windows.h>

#include <sys/stat.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace stand_in {
namespace registry {

constexpr size_t kMaxKeyNameChars = 255;
constexpr size_t kMaxValueNameChars = 16383;
constexpr size_t kMaxDepth = 512;

// Names fold to upper case for comparison, as Windows compares them.
std::wstring Fold(const std::wstring& name);

struct Value {
  std::wstring name;
  DWORD type = REG_NONE;
  std::vector<uint8_t> data;  // string types: UTF-16LE, as stored on Windows
};

struct Key {
  std::wstring name;
  std::map<std::wstring, std::unique_ptr<Key>> subkeys;  // by folded name
  std::vector<Value> values;                             // in creation order

  Key* Find(const std::wstring& sub) const;
  Value* FindValue(const std::wstring& value_name);
  Key& Add(const std::wstring& sub);
};

enum Hive { kClassesRoot, kCurrentUser, kLocalMachine, kHiveCount };
const wchar_t* HiveName(int hive);

struct Tree {
  Key hives[kHiveCount];
  void Clear();
};

bool IsStringType(DWORD type);

bool Parse(const std::string& text, const std::string& file_name, Tree& tree, std::string* error);
std::string Serialize(const Tree& tree);

// --- The file ----------------------------------------------------------------

// Says what went wrong with the file on standard error.
void Report(const std::string& text);

// All that is left to read of `fd`; false with errno set.
bool ReadAll(int fd, std::string* text);

// What is said of a damaged file, from its parse error.
std::string DamageReport(const std::string& parse_error);

// The file a write of `path` changes: `path`, or the file its symbolic
// links lead to, which need not exist yet. False with `error` set when the
// links loop or cannot be read.
bool WriteTarget(const std::string& path, std::string* target, std::string* error);

// Keeps writers of every process apart for one change, with a lock file
// beside the file the registry's links lead to: writers through a link and
// writers of the file itself take the same lock. Makes the folders on the
// way; reports what it cannot do.
class WriteLock {
 public:
  explicit WriteLock(const std::string& path);
  ~WriteLock();
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Writes `text` as the registry file `path`, under the write lock: through
// its symbolic links, as a temporary file beside their target, flushed, then
// renamed over it, so that a crash leaves the old or the new contents and
// the links stay links. The new file keeps the old one's mode and group, and
// its owner when the writer may give files away; a file the writer may not
// write is not replaced. Returns the new file open (it stands for its
// identity) with its status in `st`; -1 with `error` set, the file as it
// was, otherwise.
int WriteFile(const std::string& path, const std::string& text, struct stat* st, std::string* error);

}  // namespace registry
}  // namespace stand_in
