#include "VLMGUI.h"

#include <windows.h>

VLMRegistry::VLMRegistry() : m_root(nullptr), m_key(nullptr), m_writable(false) {}

VLMRegistry::~VLMRegistry() { Close(); }

void VLMRegistry::Close() {
  if (m_key) RegCloseKey(m_key);
  m_key = nullptr;
  m_writable = false;
}

BOOL VLMRegistry::SetKey(CString key, int hive) {
  Close();
  m_path = key;
  m_root = hive == 1 ? HKEY_CURRENT_USER : hive == 0 ? HKEY_LOCAL_MACHINE : nullptr;
  return m_root && !m_path.IsEmpty() ? TRUE : FALSE;
}

// Opens the chosen key for reading, or makes it for writing.
bool VLMRegistry::Open(bool create) {
  if (!m_root || m_path.IsEmpty()) return false;
  if (m_key && (m_writable || !create)) return true;
  Close();
  LSTATUS r;
  if (create) {
    r = RegCreateKeyExW(m_root, m_path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &m_key,
                        nullptr);
  } else {
    r = RegOpenKeyExW(m_root, m_path, 0, KEY_READ, &m_key);
  }
  if (r != ERROR_SUCCESS) {
    m_key = nullptr;
    return false;
  }
  m_writable = create;
  return true;
}

int VLMRegistry::ReadInt(CString name, int default_value) {
  if (!Open(false)) return default_value;
  DWORD type = 0, value = 0, size = sizeof value;
  if (RegQueryValueExW(m_key, name, nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value)
    return default_value;
  return static_cast<int>(value);
}

int VLMRegistry::ReadBool(CString name, int default_value) {
  return ReadInt(name, default_value ? 1 : 0) ? 1 : 0;
}

BOOL VLMRegistry::WriteInt(CString name, int value) {
  if (!Open(true)) return FALSE;
  const DWORD data = static_cast<DWORD>(value);
  return RegSetValueExW(m_key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data) == ERROR_SUCCESS
             ? TRUE
             : FALSE;
}

BOOL VLMRegistry::WriteBool(CString name, int value) { return WriteInt(name, value ? 1 : 0); }
