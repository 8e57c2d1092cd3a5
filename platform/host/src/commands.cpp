// The command manager: groups with their images and items, the tabs and
// their boxes.
#include "state.h"

#include "stand_in/paths.h"
#include "stand_in/text.h"

#include <cstring>
#include <fstream>

namespace stand_in {
namespace {

constexpr LONG kMaxBoxCommands = 1024;

std::string Quoted(const std::wstring& text) { return "\"" + ToUtf8(text) + "\""; }

bool KnownDocumentType(LONG type) { return type >= hostDocPART && type <= hostDocDRAWING; }

std::string DocumentTypeError(LONG type) {
  return "document type " + std::to_string(type) + " is not 1 (part), 2 (assembly) or 3 (drawing)";
}

uint32_t U32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
uint16_t U16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// Reads the size of a BMP file: the file header, an info header of a known
// size, uncompressed or bit-field pixels that the file holds whole. False
// with `error` saying what is wrong.
bool ReadBmpSize(const std::string& native, LONG* width, LONG* height, std::string* error) {
  std::ifstream in(native, std::ios::binary);
  if (!in) {
    *error = "cannot open '" + native + "'";
    return false;
  }
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0);
  unsigned char head[14 + 40] = {};
  if (size < 14 + 12 || !in.read(reinterpret_cast<char*>(head), std::min<std::streamoff>(size, sizeof head))) {
    *error = "'" + native + "' is too short for a BMP file";
    return false;
  }
  if (head[0] != 'B' || head[1] != 'M') {
    *error = "'" + native + "' is not a BMP file (no BM signature)";
    return false;
  }
  const uint32_t pixels = U32(head + 10);
  const uint32_t infoSize = U32(head + 14);
  int64_t w = 0, h = 0;
  unsigned bits = 0, compression = 0;
  if (infoSize == 12) {
    w = U16(head + 18);
    h = static_cast<int16_t>(U16(head + 20));
    if (U16(head + 22) != 1) {
      *error = "'" + native + "': planes is not 1";
      return false;
    }
    bits = U16(head + 24);
  } else if (infoSize == 40 || infoSize == 52 || infoSize == 56 || infoSize == 108 || infoSize == 124) {
    if (size < 14 + 40) {
      *error = "'" + native + "' is too short for its info header";
      return false;
    }
    w = static_cast<int32_t>(U32(head + 18));
    h = static_cast<int32_t>(U32(head + 22));
    if (U16(head + 26) != 1) {
      *error = "'" + native + "': planes is not 1";
      return false;
    }
    bits = U16(head + 28);
    compression = U32(head + 30);
  } else {
    *error = "'" + native + "': unknown info header size " + std::to_string(infoSize);
    return false;
  }
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    *error = "'" + native + "': " + std::to_string(bits) + " bits per pixel";
    return false;
  }
  if (compression != 0 && !(compression == 3 && (bits == 16 || bits == 32))) {
    *error = "'" + native + "': compression " + std::to_string(compression) + " is not supported";
    return false;
  }
  if (h < 0) h = -h;  // top-down rows
  if (w <= 0 || h <= 0 || w > 0x10000 || h > 0x10000) {
    *error = "'" + native + "': bad size " + std::to_string(w) + " by " + std::to_string(h);
    return false;
  }
  const int64_t stride = (w * bits + 31) / 32 * 4;
  if (pixels < 14 + infoSize || static_cast<int64_t>(pixels) + stride * h > size) {
    *error = "'" + native + "': the pixels do not fit in the file";
    return false;
  }
  *width = static_cast<LONG>(w);
  *height = static_cast<LONG>(h);
  return true;
}

}  // namespace

bool HostState::ActiveCommandId(LONG id) const {
  for (const CommandManager& m : managers)
    for (const CommandGroup& g : m.groups)
      if (g.active)
        for (const CommandItem& item : g.items)
          if (item.commandId == id) return true;
  return false;
}

void* CommandManagerObject::Role(REFIID iid) {
  if (iid == __uuidof(IUnknown) || iid == __uuidof(IHostCommandManager))
    return static_cast<IHostCommandManager*>(this);
  return nullptr;
}

STDMETHODIMP CommandManagerObject::CreateCommandGroup(LONG userId, BSTR title, BSTR tooltip, BSTR hint,
                                                      LONG position, IHostCommandGroup** group) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::MgrCreateCommandGroup, *this);
    call.Long(userId).Text(title).Text(tooltip).Text(hint).Long(position);
    call.Out(group, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!group) return call.Finish(E_POINTER, "group is null");
    if (!title || SysStringLen(title) == 0) return call.Finish(E_INVALIDARG, "the group has no title");
    if (position < -1) return call.Finish(E_INVALIDARG, "position " + std::to_string(position) + " is below -1");
    for (const CommandGroup& g : model_.groups)
      if (g.userId == userId)
        return call.Finish(E_FAIL, "the add-in already has a command group " + std::to_string(userId));
    host_.groupObjects.reserve(host_.groupObjects.size() + 1);
    CommandGroup made;
    made.userId = userId;
    made.title = FromBstr(title);
    made.tooltip = FromBstr(tooltip);
    made.hint = FromBstr(hint);
    made.position = position;
    model_.groups.push_back(std::move(made));
    CommandGroupObject* object = nullptr;
    try {
      object = host_.Make<CommandGroupObject>(model_, model_.groups.back());
    } catch (...) {
      model_.groups.pop_back();
      throw;
    }
    host_.groupObjects.push_back(object);
    *group = HandOut<IHostCommandGroup>(object);
    return call.Finish(S_OK);
  });
}

STDMETHODIMP CommandManagerObject::QueryDocumentType(LONG documentType, LONG* result) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::MgrQueryDocumentType, *this);
    call.Long(documentType);
    call.Out(result, 0);
    if (call.Faulted()) return call.Fault();
    if (!result) return call.Finish(E_POINTER, "result is null");
    if (!KnownDocumentType(documentType)) return call.Finish(E_INVALIDARG, DocumentTypeError(documentType));
    *result = documentType;
    return call.Finish(S_OK);
  });
}

STDMETHODIMP CommandManagerObject::GetCommandTab(LONG documentType, BSTR name, IHostCommandTab** tab) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::MgrGetCommandTab, *this);
    call.Long(documentType).Text(name);
    call.Out(tab, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!tab) return call.Finish(E_POINTER, "tab is null");
    if (!KnownDocumentType(documentType)) return call.Finish(E_INVALIDARG, DocumentTypeError(documentType));
    if (!name) return call.Finish(E_INVALIDARG, "name is null");
    const std::wstring wanted = FromBstr(name);
    for (size_t i = 0; i < host_.tabs.size(); ++i) {
      if (host_.tabs[i].documentType == documentType && host_.tabs[i].name == wanted) {
        *tab = HandOut<IHostCommandTab>(host_.tabObjects[i]);
        break;
      }
    }
    return call.Finish(S_OK);
  });
}

STDMETHODIMP CommandManagerObject::AddCommandTab(LONG documentType, BSTR name, IHostCommandTab** tab) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::MgrAddCommandTab, *this);
    call.Long(documentType).Text(name);
    call.Out(tab, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!tab) return call.Finish(E_POINTER, "tab is null");
    if (!KnownDocumentType(documentType)) return call.Finish(E_INVALIDARG, DocumentTypeError(documentType));
    if (!name || SysStringLen(name) == 0) return call.Finish(E_INVALIDARG, "the tab has no name");
    const std::wstring wanted = FromBstr(name);
    for (const CommandTab& t : host_.tabs)
      if (t.documentType == documentType && t.name == wanted)
        return call.Finish(E_FAIL, "document type " + std::to_string(documentType) + " already has a tab " +
                                       Quoted(wanted));
    host_.tabObjects.reserve(host_.tabObjects.size() + 1);
    host_.tabs.emplace_back();
    CommandTab& made = host_.tabs.back();
    made.documentType = documentType;
    made.addedBy = model_.cookie;
    CommandTabObject* object = nullptr;
    try {
      made.name = wanted;
      object = host_.Make<CommandTabObject>(made);
    } catch (...) {
      host_.tabs.pop_back();
      throw;
    }
    host_.tabObjects.push_back(object);
    *tab = HandOut<IHostCommandTab>(object);
    return call.Finish(S_OK);
  });
}

STDMETHODIMP CommandManagerObject::RemoveCommandGroup(LONG userId, VARIANT_BOOL* ok) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::MgrRemoveCommandGroup, *this);
    call.Long(userId);
    call.Out(ok, VARIANT_FALSE);
    if (call.Faulted()) return call.Fault();
    if (!ok) return call.Finish(E_POINTER, "ok is null");
    for (auto it = model_.groups.begin(); it != model_.groups.end(); ++it) {
      if (it->userId != userId) continue;
      for (CommandGroupObject* object : host_.groupObjects)
        if (object->Model() == &*it) object->Detach();
      model_.groups.erase(it);
      *ok = VARIANT_TRUE;
      return call.Finish(S_OK);
    }
    return call.Finish(E_FAIL, "the add-in has no command group " + std::to_string(userId));
  });
}

std::string CommandGroupObject::Label() const {
  return "command group " + std::to_string(userId_) + " of add-in " + std::to_string(manager_.cookie);
}

void* CommandGroupObject::Role(REFIID iid) {
  if (iid == __uuidof(IUnknown) || iid == __uuidof(IHostCommandGroup)) return static_cast<IHostCommandGroup*>(this);
  return nullptr;
}

HRESULT CommandGroupObject::SetIcon(Op op, IconKind kind, BSTR path) {
  return ComNoThrow([&] {
    CallScope call(host_, op, *this);
    call.Text(path);
    if (call.Faulted()) return call.Fault();
    if (!group_) return call.Finish(E_FAIL, Label() + " was removed");
    Icon* icon = nullptr;
    LONG unit = 16;
    bool strip = false;
    switch (kind) {
      case IconKind::SmallList: icon = &group_->smallIcons; strip = true; break;
      case IconKind::LargeList: icon = &group_->largeIcons; unit = 24; strip = true; break;
      case IconKind::SmallMain: icon = &group_->smallMain; break;
      case IconKind::LargeMain: icon = &group_->largeMain; unit = 24; break;
    }
    // Whatever the group had of this image goes: a refused image leaves none.
    *icon = Icon{};
    if (!path) return call.Finish(E_FAIL, "the image path is null");
    const std::wstring given = FromBstr(path);
    const std::string native = NativePath(given);
    if (native.empty()) return call.Finish(E_FAIL, "no file at " + Quoted(given));
    LONG width = 0, height = 0;
    std::string error;
    if (!ReadBmpSize(native, &width, &height, &error)) return call.Finish(E_FAIL, error);
    const bool fits = height == unit && (strip ? width % unit == 0 : width == unit);
    if (!fits) {
      const std::string wanted = strip ? std::to_string(unit) + " high and a multiple of " + std::to_string(unit) +
                                             " wide"
                                       : std::to_string(unit) + " by " + std::to_string(unit);
      return call.Finish(E_FAIL, "'" + native + "' is " + std::to_string(width) + " by " + std::to_string(height) +
                                     ", not " + wanted);
    }
    icon->path = given;
    icon->width = width;
    icon->height = height;
    return call.Finish(S_OK);
  });
}

STDMETHODIMP CommandGroupObject::SetSmallIconList(BSTR path) {
  return SetIcon(Op::GroupSetSmallIconList, IconKind::SmallList, path);
}
STDMETHODIMP CommandGroupObject::SetLargeIconList(BSTR path) {
  return SetIcon(Op::GroupSetLargeIconList, IconKind::LargeList, path);
}
STDMETHODIMP CommandGroupObject::SetSmallMainIcon(BSTR path) {
  return SetIcon(Op::GroupSetSmallMainIcon, IconKind::SmallMain, path);
}
STDMETHODIMP CommandGroupObject::SetLargeMainIcon(BSTR path) {
  return SetIcon(Op::GroupSetLargeMainIcon, IconKind::LargeMain, path);
}

// The settings around the items have no effect here.
HRESULT CommandGroupObject::Setting(Op op, LONG value) {
  return ComNoThrow([&] {
    CallScope call(host_, op, *this);
    call.Long(value);
    if (call.Faulted()) return call.Fault();
    if (!group_) return call.Finish(E_FAIL, Label() + " was removed");
    return call.Finish(S_OK);
  });
}

STDMETHODIMP CommandGroupObject::PreItemSetting(LONG value) { return Setting(Op::GroupPreItemSetting, value); }
STDMETHODIMP CommandGroupObject::PostItemSettingA(LONG value) { return Setting(Op::GroupPostItemSettingA, value); }
STDMETHODIMP CommandGroupObject::PostItemSettingB(LONG value) { return Setting(Op::GroupPostItemSettingB, value); }

STDMETHODIMP CommandGroupObject::AddCommandItem(BSTR name, LONG position, BSTR hint, BSTR tooltip, LONG imageIndex,
                                                BSTR callback, BSTR enableMethod, LONG userId, LONG options,
                                                LONG* index) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::GroupAddCommandItem, *this);
    call.Text(name).Long(position).Text(hint).Text(tooltip).Long(imageIndex).Text(callback).Text(enableMethod);
    call.Long(userId).Long(options);
    call.Out(index, 0);
    if (call.Faulted()) return call.Fault();
    if (!index) return call.Finish(E_POINTER, "index is null");
    if (!group_) return call.Finish(E_FAIL, Label() + " was removed");
    if (group_->active) return call.Finish(E_FAIL, Label() + " is already activated");
    if (!name || SysStringLen(name) == 0) return call.Finish(E_INVALIDARG, "the item has no name");
    if (position < -1) return call.Finish(E_INVALIDARG, "position " + std::to_string(position) + " is below -1");
    if (imageIndex < -1)
      return call.Finish(E_INVALIDARG, "image index " + std::to_string(imageIndex) + " is below -1");
    CommandItem item;
    item.name = FromBstr(name);
    item.position = position;
    item.hint = FromBstr(hint);
    item.tooltip = FromBstr(tooltip);
    item.imageIndex = imageIndex;
    item.callback = FromBstr(callback);
    item.enableMethod = FromBstr(enableMethod);
    item.userId = userId;
    item.options = options;
    group_->items.push_back(std::move(item));
    *index = static_cast<LONG>(group_->items.size() - 1);
    return call.Finish(S_OK);
  });
}

STDMETHODIMP CommandGroupObject::Activate(VARIANT_BOOL* ok) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::GroupActivate, *this);
    call.Out(ok, VARIANT_FALSE);
    if (call.Faulted()) return call.Fault();
    if (!ok) return call.Finish(E_POINTER, "ok is null");
    if (!group_) return call.Finish(E_FAIL, Label() + " was removed");
    if (group_->active) return call.Finish(E_FAIL, Label() + " is already activated");
    for (CommandItem& item : group_->items) item.commandId = host_.nextCommandId++;
    group_->active = true;
    *ok = VARIANT_TRUE;
    return call.Finish(S_OK);
  });
}

STDMETHODIMP CommandGroupObject::GetCommandId(LONG index, LONG* id) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::GroupGetCommandId, *this);
    call.Long(index);
    call.Out(id, 0);
    if (call.Faulted()) return call.Fault();
    if (!id) return call.Finish(E_POINTER, "id is null");
    if (!group_) return call.Finish(E_FAIL, Label() + " was removed");
    if (index < 0 || static_cast<size_t>(index) >= group_->items.size())
      return call.Finish(E_INVALIDARG, "item index " + std::to_string(index) + " is not one of the group's " +
                                           std::to_string(group_->items.size()));
    if (!group_->active) return call.Finish(E_FAIL, Label() + " is not activated: its items have no command ids");
    *id = group_->items[static_cast<size_t>(index)].commandId;
    return call.Finish(S_OK);
  });
}

std::string CommandTabObject::Label() const {
  return "tab \"" + ToUtf8(tab_.name) + "\" of document type " + std::to_string(tab_.documentType);
}

void* CommandTabObject::Role(REFIID iid) {
  if (iid == __uuidof(IUnknown) || iid == __uuidof(IHostCommandTab)) return static_cast<IHostCommandTab*>(this);
  return nullptr;
}

STDMETHODIMP CommandTabObject::AddTabBox(IHostCommandTabBox** box) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::TabAddTabBox, *this);
    call.Out(box, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!box) return call.Finish(E_POINTER, "box is null");
    tab_.boxes.emplace_back();
    CommandBoxObject* object = nullptr;
    try {
      object = host_.Make<CommandBoxObject>(tab_, tab_.boxes.back(), tab_.boxes.size() - 1);
    } catch (...) {
      tab_.boxes.pop_back();
      throw;
    }
    *box = HandOut<IHostCommandTabBox>(object);
    return call.Finish(S_OK);
  });
}

std::string CommandBoxObject::Label() const {
  return "box " + std::to_string(index_ + 1) + " of tab \"" + ToUtf8(tab_.name) + "\" of document type " +
         std::to_string(tab_.documentType);
}

void* CommandBoxObject::Role(REFIID iid) {
  if (iid == __uuidof(IUnknown) || iid == __uuidof(IHostCommandTabBox))
    return static_cast<IHostCommandTabBox*>(this);
  return nullptr;
}

STDMETHODIMP CommandBoxObject::AddCommands(LONG count, const LONG* commandIds, const LONG* textTypes,
                                           VARIANT_BOOL* ok) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::BoxAddCommands, *this);
    const bool readable = count >= 1 && count <= kMaxBoxCommands;
    call.Long(count);
    if (readable) call.Longs(commandIds, static_cast<size_t>(count)).Longs(textTypes, static_cast<size_t>(count));
    else call.Unread().Unread();
    call.Out(ok, VARIANT_FALSE);
    if (call.Faulted()) return call.Fault();
    if (!ok) return call.Finish(E_POINTER, "ok is null");
    if (!readable)
      return call.Finish(E_INVALIDARG, "count " + std::to_string(count) + " is not 1 to " +
                                           std::to_string(kMaxBoxCommands));
    if (!commandIds || !textTypes) return call.Finish(E_INVALIDARG, "the command ids or text types are null");
    for (LONG i = 0; i < count; ++i) {
      if (!host_.ActiveCommandId(commandIds[i]))
        return call.Finish(E_INVALIDARG, "command " + std::to_string(i + 1) + ": " + std::to_string(commandIds[i]) +
                                             " is no command id of an activated group");
      if (textTypes[i] < hostTabTextNone || textTypes[i] > hostTabTextBeside)
        return call.Finish(E_INVALIDARG, "command " + std::to_string(i + 1) + ": text type " +
                                             std::to_string(textTypes[i]) + " is not 0 to 2");
    }
    box_.commandIds.reserve(box_.commandIds.size() + static_cast<size_t>(count));
    box_.textTypes.reserve(box_.textTypes.size() + static_cast<size_t>(count));
    box_.commandIds.insert(box_.commandIds.end(), commandIds, commandIds + count);
    box_.textTypes.insert(box_.textTypes.end(), textTypes, textTypes + count);
    *ok = VARIANT_TRUE;
    return call.Finish(S_OK);
  });
}

}  // namespace stand_in
