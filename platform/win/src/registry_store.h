// The registry's tree in memory and its text form (stand_in/registry.h).
#pragma once

#include <windows.h>

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

}  // namespace registry
}  // namespace stand_in
