// Reading the binary forms a dialog is made from: the extended dialog
// template (resource type RT_DIALOG) and the dialog initialisation data
// (resource type 240). Both are read with every length checked against the
// bytes given.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace stand_in {
namespace mfc {

// A name or an ordinal, as templates write them.
struct NameOrOrdinal {
  bool isOrdinal = false;
  WORD ordinal = 0;
  std::wstring name;
  bool empty() const { return !isOrdinal && name.empty(); }
};

struct DialogItem {
  DWORD helpId = 0;
  DWORD exStyle = 0;
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  DWORD id = 0;
  NameOrOrdinal windowClass;  // ordinal 0x0080 button ... or "BUTTON", ...
  NameOrOrdinal title;
  std::vector<BYTE> creationData;
};

struct DialogTemplate {
  WORD version = 0;
  DWORD helpId = 0;
  DWORD exStyle = 0;
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  NameOrOrdinal menu;
  NameOrOrdinal windowClass;
  std::wstring title;
  // With DS_SETFONT.
  WORD pointSize = 0;
  WORD weight = 0;
  BYTE italic = 0;
  BYTE charset = 0;
  std::wstring typeface;
  std::vector<DialogItem> items;
};

// An extended template (version 1, signature 0xFFFF). False with `error`
// saying what is wrong and at which byte offset.
bool ParseDialogTemplate(const void* data, size_t size, DialogTemplate* out, std::string* error);

struct DlgInitEntry {
  WORD controlId = 0;
  WORD message = 0;
  std::string data;  // the bytes up to their terminating zero
};

// Entries up to the terminating zero id. False with `error` set when an entry
// runs past the data, its text has no terminating zero, or the end is missing.
bool ParseDlgInit(const void* data, size_t size, std::vector<DlgInitEntry>* out, std::string* error);

// Dialog initialisation messages: the 16-bit codes the resource compiler
// writes and the 32-bit ones.
constexpr WORD kDlgInitCbAddString16 = 0x0403;
constexpr WORD kDlgInitCbAddString = 0x0143;
constexpr WORD kDlgInitLbAddString16 = 0x0401;
constexpr WORD kDlgInitLbAddString = 0x0180;

}  // namespace mfc
}  // namespace stand_in
