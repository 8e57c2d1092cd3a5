// Resources of the test program (tests/win/testdata/test.rc) and of the
// add-in's resource script, carried by the probe module TessalyProbe.dll.
#include <windows.h>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "resource.h"
#include "stand_in/module.h"
#include "test_ids.h"

namespace {

std::string Bytes(HMODULE module, LPCWSTR name, LPCWSTR type) {
  HRSRC found = FindResourceW(module, name, type);
  if (!found) return "<none>";
  HGLOBAL data = LoadResource(module, found);
  const char* bytes = static_cast<const char*>(LockResource(data));
  return bytes ? std::string(bytes, SizeofResource(module, found)) : "<no data>";
}

TEST(Resources, ById) {
  EXPECT_EQ(Bytes(nullptr, MAKEINTRESOURCEW(IDR_BYTES), RT_RCDATA), "abc");
  EXPECT_EQ(Bytes(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_BYTES), RT_RCDATA), "abc");
}

TEST(Resources, NamesAndTypesAsStrings) {
  const std::string hello("hello\0", 6);
  struct Case {
    LPCWSTR name, type;
    std::string expected;
  } cases[] = {
      {L"Greeting", RT_RCDATA, hello},
      {L"GREETING", RT_RCDATA, hello},
      {L"greeting", L"#10", hello},
      {L"#101", RT_RCDATA, "abc"},
      {L"#101", L"#10", "abc"},
      {MAKEINTRESOURCEW(IDR_CUSTOM), L"Sample", std::string("\1\0\2\0\3\0\0\0", 8)},
      {MAKEINTRESOURCEW(IDR_CUSTOM), L"SAMPLE", std::string("\1\0\2\0\3\0\0\0", 8)},
      {L"#102", L"sample", std::string("\1\0\2\0\3\0\0\0", 8)},
  };
  for (const Case& c : cases) EXPECT_EQ(Bytes(nullptr, c.name, c.type), c.expected);
}

TEST(Resources, MissingOnesSayWhatIsMissing) {
  struct Case {
    LPCWSTR name, type;
    DWORD error;
  } cases[] = {
      {MAKEINTRESOURCEW(999), RT_RCDATA, ERROR_RESOURCE_NAME_NOT_FOUND},
      {L"Greetings", RT_RCDATA, ERROR_RESOURCE_NAME_NOT_FOUND},
      {L"#1010", RT_RCDATA, ERROR_RESOURCE_NAME_NOT_FOUND},
      {MAKEINTRESOURCEW(IDR_BYTES), RT_DIALOG, ERROR_RESOURCE_TYPE_NOT_FOUND},
      {MAKEINTRESOURCEW(IDR_BYTES), L"Samples", ERROR_RESOURCE_TYPE_NOT_FOUND},
      // A string id is not the number it spells without "#".
      {L"101", RT_RCDATA, ERROR_RESOURCE_NAME_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(FindResourceW(nullptr, c.name, c.type), nullptr);
    EXPECT_EQ(GetLastError(), c.error);
  }
}

TEST(Resources, LanguageChoice) {
  EXPECT_EQ(Bytes(nullptr, MAKEINTRESOURCEW(IDR_LANGUAGES), RT_RCDATA), "english");
  HRSRC german = FindResourceExW(nullptr, RT_RCDATA, MAKEINTRESOURCEW(IDR_LANGUAGES), MAKELANGID(0x07, 0x01));
  ASSERT_NE(german, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(LockResource(LoadResource(nullptr, german))), 7), "deutsch");
  SetLastError(0);
  EXPECT_EQ(FindResourceExW(nullptr, RT_RCDATA, MAKEINTRESOURCEW(IDR_LANGUAGES), MAKELANGID(0x0C, 0x01)), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_LANG_NOT_FOUND);
}

TEST(Resources, DataIsDwordAligned) {
  HRSRC found = FindResourceW(nullptr, L"Greeting", RT_RCDATA);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(LoadResource(nullptr, found)) % 4, 0u);
}

// The probe module, loaded for the length of one test.
class ProbeModule : public ::testing::Test {
 protected:
  void SetUp() override {
    handle_ = dlopen(TESSALY_RES_PROBE, RTLD_NOW);
    ASSERT_NE(handle_, nullptr) << dlerror();
    module_ = GetModuleHandleW(L"TessalyProbe.dll");
    ASSERT_NE(module_, nullptr);
  }
  void TearDown() override {
    if (handle_) dlclose(handle_);
  }
  void* handle_ = nullptr;
  HMODULE module_ = nullptr;
};

TEST_F(ProbeModule, ResourcesBelongToTheirModule) {
  HRSRC dialog = FindResourceW(module_, MAKEINTRESOURCEW(IDD_TESSALY_OPTIONS), RT_DIALOG);
  ASSERT_NE(dialog, nullptr);
  EXPECT_NE(LoadResource(module_, dialog), nullptr);
  // Not the executable's, and a handle of one module is no handle of another.
  SetLastError(0);
  EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(IDD_TESSALY_OPTIONS), RT_DIALOG), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_TYPE_NOT_FOUND);
  EXPECT_EQ(LoadResource(nullptr, dialog), nullptr);
  EXPECT_EQ(SizeofResource(nullptr, dialog), 0u);
  HRSRC bytes = FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_BYTES), RT_RCDATA);
  EXPECT_EQ(LoadResource(module_, bytes), nullptr);
}

TEST(ProbeModuleUnload, ResourcesGoWithTheModule) {
  void* handle = dlopen(TESSALY_RES_PROBE, RTLD_NOW);
  ASSERT_NE(handle, nullptr);
  HMODULE module = GetModuleHandleW(L"TessalyProbe.dll");
  ASSERT_NE(FindResourceW(module, MAKEINTRESOURCEW(IDD_TESSALY_OPTIONS), RT_DIALOG), nullptr);
  dlclose(handle);
  if (GetModuleHandleW(L"TessalyProbe.dll")) GTEST_SKIP() << "the module stayed loaded";
  EXPECT_EQ(FindResourceW(module, MAKEINTRESOURCEW(IDD_TESSALY_OPTIONS), RT_DIALOG), nullptr);
}

// Reads an extended dialog template the way the dialog manager does.
class TemplateReader {
 public:
  TemplateReader(const unsigned char* data, size_t size) : data_(data), size_(size) {}
  uint16_t Word() {
    EXPECT_LE(pos_ + 2, size_);
    if (pos_ + 2 > size_) return 0;
    uint16_t v = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
  }
  uint32_t Dword() {
    uint32_t lo = Word();
    return lo | (uint32_t(Word()) << 16);
  }
  // An ordinal as "#n", a string as itself.
  std::string SzOrOrd() {
    uint16_t first = Word();
    if (first == 0xFFFF) return "#" + std::to_string(Word());
    std::string out;
    for (uint16_t c = first; c != 0; c = Word()) out += static_cast<char>(c);
    return out;
  }
  void Align() { pos_ = (pos_ + 3) & ~size_t(3); }
  size_t pos() const { return pos_; }

 private:
  const unsigned char* data_;
  size_t size_;
  size_t pos_ = 0;
};

struct Control {
  int32_t id;
  std::string kind;  // the class, by name or atom
  uint32_t style;
  int x, y, w, h;
  std::string text;
};

bool SameClass(const std::string& got, const std::string& want) {
  static const struct {
    const char* atom;
    const char* name;
  } atoms[] = {{"#128", "BUTTON"}, {"#130", "STATIC"}, {"#133", "COMBOBOX"}};
  if (got == want) return true;
  for (const auto& a : atoms) {
    std::string upper = got;
    for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    if (want == a.name && (got == a.atom || upper == a.name)) return true;
  }
  return false;
}

TEST_F(ProbeModule, OptionsDialogTemplate) {
  HRSRC found = FindResourceW(module_, MAKEINTRESOURCEW(IDD_TESSALY_OPTIONS), RT_DIALOG);
  ASSERT_NE(found, nullptr);
  const auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(module_, found)));
  TemplateReader r(data, SizeofResource(module_, found));
  EXPECT_EQ(r.Word(), 1);       // version
  EXPECT_EQ(r.Word(), 0xFFFF);  // extended template
  EXPECT_EQ(r.Dword(), 0u);     // help id
  EXPECT_EQ(r.Dword(), 0u);     // extended style
  EXPECT_EQ(r.Dword(), uint32_t(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
  const uint16_t count = r.Word();
  EXPECT_EQ(count, 11);
  EXPECT_EQ(r.Word(), 0);
  EXPECT_EQ(r.Word(), 0);
  EXPECT_EQ(r.Word(), 184);
  EXPECT_EQ(r.Word(), 134);
  EXPECT_EQ(r.SzOrOrd(), "");  // no menu
  EXPECT_EQ(r.SzOrOrd(), "");  // the standard dialog class
  EXPECT_EQ(r.SzOrOrd(), "Tessaly for SolidWorks");
  EXPECT_EQ(r.Word(), 8);  // points
  EXPECT_EQ(r.Word(), 0);  // weight
  uint16_t italicCharset = r.Word();
  EXPECT_EQ(italicCharset, 0);
  EXPECT_EQ(r.SzOrOrd(), "MS Sans Serif");

  const uint32_t child = WS_CHILD | WS_VISIBLE;
  const Control expected[] = {
      {1022, "BUTTON", child | BS_AUTORADIOBUTTON | WS_GROUP, 67, 7, 92, 10, "Solid in a part document"},
      {1023, "BUTTON", child | BS_AUTORADIOBUTTON, 67, 20, 109, 10, "3D sketch in a part document"},
      {1024, "COMBOBOX", child | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 67, 35, 64, 94, ""},
      {1028, "BUTTON", child | BS_AUTOCHECKBOX | WS_TABSTOP, 7, 54, 170, 10,
       "Create multibody part (in case of multiple meshes)"},
      {202, "BUTTON", child | BS_AUTOCHECKBOX | WS_TABSTOP, 7, 69, 84, 10, "Y axis points upwards"},
      {1027, "BUTTON", child | BS_AUTOCHECKBOX | WS_TABSTOP, 7, 85, 63, 10, "Show progress"},
      {IDOK, "BUTTON", child | BS_DEFPUSHBUTTON | WS_TABSTOP, 38, 112, 50, 14, "&OK"},
      {IDCANCEL, "BUTTON", child | BS_PUSHBUTTON | WS_TABSTOP, 96, 112, 50, 14, "&Cancel"},
      {-1, "STATIC", child | SS_LEFT | WS_GROUP, 7, 7, 56, 8, "Import meshes as"},
      {-1, "STATIC", child | SS_LEFT, 7, 35, 17, 8, "Units"},
      {-1, "STATIC", child | SS_ETCHEDHORZ, 7, 102, 169, 1, ""},
  };
  ASSERT_EQ(count, sizeof expected / sizeof expected[0]);
  for (const Control& want : expected) {
    SCOPED_TRACE(want.text + " " + std::to_string(want.id));
    r.Align();
    EXPECT_EQ(r.Dword(), 0u);  // help id
    EXPECT_EQ(r.Dword(), 0u);  // extended style
    EXPECT_EQ(r.Dword(), want.style);
    EXPECT_EQ(int16_t(r.Word()), want.x);
    EXPECT_EQ(int16_t(r.Word()), want.y);
    EXPECT_EQ(int16_t(r.Word()), want.w);
    EXPECT_EQ(int16_t(r.Word()), want.h);
    EXPECT_EQ(int32_t(r.Dword()), want.id);
    std::string kind = r.SzOrOrd();
    EXPECT_TRUE(SameClass(kind, want.kind)) << kind;
    EXPECT_EQ(r.SzOrOrd(), want.text);
    EXPECT_EQ(r.Word(), 0);  // no creation data
  }
  EXPECT_EQ(r.pos(), SizeofResource(module_, found));
}

TEST_F(ProbeModule, OptionsDialogInitialisationData) {
  HRSRC found = FindResourceW(module_, MAKEINTRESOURCEW(IDD_TESSALY_OPTIONS), RT_DLGINIT);
  ASSERT_NE(found, nullptr);
  const auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(module_, found)));
  std::vector<unsigned char> expected;
  auto word = [&](uint16_t v) {
    expected.push_back(v & 0xFF);
    expected.push_back(v >> 8);
  };
  for (const char* unit : {"Millimeters", "Centimeters", "Meters", "Inches", "Feet"}) {
    word(1024);
    word(0x0403);
    const uint32_t length = static_cast<uint32_t>(std::strlen(unit) + 1);
    word(length & 0xFFFF);
    word(length >> 16);
    expected.insert(expected.end(), unit, unit + length);
  }
  word(0);
  ASSERT_EQ(expected.size(), 40u + 12 + 12 + 7 + 7 + 5 + 2);
  ASSERT_EQ(SizeofResource(module_, found), expected.size());
  EXPECT_EQ(std::vector<unsigned char>(data, data + expected.size()), expected);
}

// .res bytes built record by record.
struct ResWriter {
  std::vector<unsigned char> bytes;
  void Word(uint16_t v) {
    bytes.push_back(v & 0xFF);
    bytes.push_back(v >> 8);
  }
  void Dword(uint32_t v) {
    Word(v & 0xFFFF);
    Word(v >> 16);
  }
  void Pad() {
    while (bytes.size() % 4) bytes.push_back(0);
  }
  void Record(uint16_t type, uint16_t name, const std::string& data) {
    Dword(static_cast<uint32_t>(data.size()));
    Dword(32);
    Word(0xFFFF);
    Word(type);
    Word(0xFFFF);
    Word(name);
    Dword(0);
    Word(0x1030);
    Word(0x0409);
    Dword(0);
    Dword(0);
    bytes.insert(bytes.end(), data.begin(), data.end());
    Pad();
  }
  ResWriter() { Record(0, 0, ""); }
};

// A blob that stands for a damaged module's resources.
struct Damaged {
  explicit Damaged(std::vector<unsigned char> bytes) : data(std::move(bytes)) {
    module = reinterpret_cast<HMODULE>(reinterpret_cast<uintptr_t>(this) | 1);
    stand_in::RegisterResourcesOf(module, data.data(), data.size(), "damaged.dll");
  }
  ~Damaged() { stand_in::UnregisterResources(data.data()); }
  std::vector<unsigned char> data;
  HMODULE module;
};

TEST(ResourceFile, DamagedBlobsAreRefusedWithWhereAndWhat) {
  ResWriter good;
  good.Record(10, 7, "payload");
  {
    Damaged sound(good.bytes);
    EXPECT_NE(FindResourceW(sound.module, MAKEINTRESOURCEW(7), RT_RCDATA), nullptr);
  }
  struct Case {
    const char* what;
    std::vector<unsigned char> bytes;
    const char* message;
  };
  std::vector<Case> cases;
  auto cut = good.bytes;
  cut.resize(cut.size() - 4);
  cases.push_back({"cut in the last record's data", cut, "data runs past the end at offset 0x20"});
  cut = good.bytes;
  cut.resize(32 + 20);
  cases.push_back({"cut in the last record's header", cut, "header runs past the end at offset 0x20"});
  cut = good.bytes;
  cut.resize(32 + 6);
  cases.push_back({"cut in the sizes", cut, "record header truncated at offset 0x20"});
  auto big = good.bytes;
  big[32] = 0xFF, big[33] = 0xFF, big[34] = 0xFF, big[35] = 0xFF;
  cases.push_back({"data size past the end", big, "data runs past the end at offset 0x20"});
  auto small = good.bytes;
  small[36] = 8;
  cases.push_back({"header too small", small, "bad header size at offset 0x20"});
  auto odd = good.bytes;
  odd[36] = 34;
  cases.push_back({"header size not in dwords", odd, "bad header size at offset 0x20"});
  auto longer = good.bytes;
  longer[36] = 36;
  cases.push_back({"header size beyond its fields", longer, "does not match its fields at offset 0x20"});
  // A type string with no end inside the header.
  ResWriter text;
  text.Dword(0);
  text.Dword(32);
  for (int i = 0; i < 12; ++i) text.Word('A');
  cases.push_back({"unterminated type", text.bytes, "type runs past its header at offset 0x20"});
  std::vector<unsigned char> noLead(good.bytes.begin() + 32, good.bytes.end());
  cases.push_back({"no leading empty record", noLead, "not a .res file"});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Damaged damaged(c.bytes);
    testing::internal::CaptureStderr();
    SetLastError(0);
    EXPECT_EQ(FindResourceW(damaged.module, MAKEINTRESOURCEW(7), RT_RCDATA), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_BAD_FORMAT));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("damaged.dll"), std::string::npos) << err;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    // Refused once and for all: the next look-up says nothing new.
    testing::internal::CaptureStderr();
    EXPECT_EQ(FindResourceW(damaged.module, MAKEINTRESOURCEW(7), RT_RCDATA), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  }
}

TEST(ResourceFile, NoResourcesAtAll) {
  Damaged empty({});
  SetLastError(0);
  EXPECT_EQ(FindResourceW(empty.module, MAKEINTRESOURCEW(1), RT_RCDATA), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_TYPE_NOT_FOUND));
  SetLastError(0);
  HMODULE none = reinterpret_cast<HMODULE>(uintptr_t(0x1230001));
  EXPECT_EQ(FindResourceW(none, MAKEINTRESOURCEW(1), RT_RCDATA), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_DATA_NOT_FOUND));
}

}  // namespace
