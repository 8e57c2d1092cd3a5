#include <windows.h>

#include <gtest/gtest.h>

#include "stand_in/paths.h"
#include "stand_in/text.h"
#include "stand_in/ui.h"
#include "stand_in/window.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using stand_in::ToUtf8;

namespace {

// Installs an invalid-parameter handler that returns, as a host may, so
// that a test sees what the function does after it; counts its calls.
class ReturningHandler {
 public:
  ReturningHandler() : previous_(_set_invalid_parameter_handler(&Count)) { calls_ = 0; }
  ~ReturningHandler() { _set_invalid_parameter_handler(previous_); }
  static int calls() { return calls_; }
  static void Reset() { calls_ = 0; }

 private:
  static void __cdecl Count(const wchar_t*, const wchar_t*, const wchar_t*, unsigned int, uintptr_t) { ++calls_; }
  static int calls_;
  _invalid_parameter_handler previous_;
};
int ReturningHandler::calls_ = 0;

TEST(Wtoi, ParsesAsTheCrtDoes) {
  struct Case {
    const wchar_t* text;
    int value;
  } cases[] = {
      {L"21", 21},
      {L" 18", 18},
      {L"\t\n-5x", -5},
      {L"+7", 7},
      {L"", 0},
      {L"abc", 0},
      {L"- 5", 0},
      {L"1 2", 1},
      {L"2147483647", INT_MAX},
      {L"2147483648", INT_MAX},
      {L"-2147483648", INT_MIN},
      {L"-2147483649", INT_MIN},
      {L"99999999999999999999999", INT_MAX},
  };
  for (const Case& c : cases) EXPECT_EQ(_wtoi(c.text), c.value) << '"' << ToUtf8(c.text) << '"';
  EXPECT_EQ(_wtoi(nullptr), 0);
}

TEST(SplitPath, WindowsRules) {
  struct Case {
    const wchar_t *path, *drive, *dir, *fname, *ext;
  } cases[] = {
      {L"D:\\out\\plate.sldprt", L"D:", L"\\out\\", L"plate", L".sldprt"},
      {L"c:/a/b/c.txt", L"c:", L"/a/b/", L"c", L".txt"},
      {L"D:\\out/mixed\\x.dxf", L"D:", L"\\out/mixed\\", L"x", L".dxf"},
      {L"D:\\out\\plate", L"D:", L"\\out\\", L"plate", L""},
      {L"D:\\out\\", L"D:", L"\\out\\", L"", L""},
      {L"D:\\a.b\\c.d\\name", L"D:", L"\\a.b\\c.d\\", L"name", L""},
      {L"D:\\a.b\\name.tar.gz", L"D:", L"\\a.b\\", L"name.tar", L".gz"},
      {L"D:plate.x", L"D:", L"", L"plate", L".x"},
      {L"relative\\f.x", L"", L"relative\\", L"f", L".x"},
      {L"plate.sldprt", L"", L"", L"plate", L".sldprt"},
      {L".hidden", L"", L"", L"", L".hidden"},
      {L"\\\\srv\\share\\f.3ds", L"", L"\\\\srv\\share\\", L"f", L".3ds"},
      {L"", L"", L"", L"", L""},
  };
  for (const Case& c : cases) {
    wchar_t drive[_MAX_DRIVE], dir[_MAX_DIR], fname[_MAX_FNAME], ext[_MAX_EXT];
    _wsplitpath(c.path, drive, dir, fname, ext);
    const std::string where = ToUtf8(c.path);
    EXPECT_STREQ(drive, c.drive) << where;
    EXPECT_STREQ(dir, c.dir) << where;
    EXPECT_STREQ(fname, c.fname) << where;
    EXPECT_STREQ(ext, c.ext) << where;
  }
  // Unwanted components may be null.
  wchar_t fname[_MAX_FNAME];
  _wsplitpath(L"D:\\out\\plate.sldprt", nullptr, nullptr, fname, nullptr);
  EXPECT_STREQ(fname, L"plate");
}

// Each component holds at most 255 characters; one more never spills over
// the buffer (heap buffers of the exact size, so the sanitizer sees any
// overrun), reaches the invalid-parameter handler, and when the handler
// returns empties every output rather than leaving a cut-off part.
TEST(SplitPath, OverlongComponentEmptiesEverything) {
  ReturningHandler handler;
  struct Case {
    std::wstring path;
    bool fits;
  } cases[] = {
      {L"D:\\out\\" + std::wstring(255, L'n') + L".sldprt", true},
      {L"D:\\out\\" + std::wstring(256, L'n') + L".sldprt", false},
      {L"D:\\" + std::wstring(253, L'd') + L"\\plate.x", true},
      {L"D:\\" + std::wstring(254, L'd') + L"\\plate.x", false},
      {L"D:\\out\\plate." + std::wstring(255, L'e'), false},
  };
  for (const Case& c : cases) {
    ReturningHandler::Reset();
    std::vector<wchar_t> drive(_MAX_DRIVE, L'?'), dir(_MAX_DIR, L'?'), fname(_MAX_FNAME, L'?'), ext(_MAX_EXT, L'?');
    const errno_t err = _wsplitpath_s(c.path.c_str(), drive.data(), drive.size(), dir.data(), dir.size(),
                                      fname.data(), fname.size(), ext.data(), ext.size());
    EXPECT_EQ(err, c.fits ? 0 : ERANGE) << c.path.size();
    EXPECT_EQ(ReturningHandler::calls(), c.fits ? 0 : 1) << c.path.size();
    if (!c.fits) {
      for (const auto* b : {&drive, &dir, &fname, &ext}) EXPECT_EQ((*b)[0], L'\0') << c.path.size();
    }
    _wsplitpath(c.path.c_str(), drive.data(), dir.data(), fname.data(), ext.data());
    EXPECT_EQ(fname[0] == L'\0', !c.fits) << c.path.size();
    EXPECT_EQ(ReturningHandler::calls(), c.fits ? 0 : 2) << c.path.size();
  }
}

// Without a handler of its own the process ends there, as the CRT's default
// does, whichever split reached it.
TEST(SplitPathDeathTest, TooSmallABufferEndsTheProcess) {
  const std::wstring longName = L"D:\\out\\" + std::wstring(256, L'n') + L".sldprt";
  wchar_t drive[_MAX_DRIVE], dir[_MAX_DIR], fname[_MAX_FNAME];
  EXPECT_DEATH(_wsplitpath_s(longName.c_str(), drive, _MAX_DRIVE, dir, _MAX_DIR, fname, _MAX_FNAME, nullptr, 0),
               "Invalid parameter passed to _wsplitpath_s");
  EXPECT_DEATH(_wsplitpath(longName.c_str(), drive, dir, fname, nullptr), "_wsplitpath_s");
  EXPECT_DEATH(_wsplitpath_s(L"D:\\out\\plate.x", drive, 2, nullptr, 0, nullptr, 0, nullptr, 0), "_wsplitpath_s");
  EXPECT_DEATH(_wsplitpath_s(nullptr, drive, _MAX_DRIVE, nullptr, 0, nullptr, 0, nullptr, 0), "_wsplitpath_s");
  // The same split that fits goes through.
  EXPECT_EQ(_wsplitpath_s(L"D:\\out\\plate.x", drive, _MAX_DRIVE, dir, _MAX_DIR, fname, _MAX_FNAME, nullptr, 0), 0);
  EXPECT_STREQ(fname, L"plate");
}

TEST(SplitPath, InvalidArguments) {
  ReturningHandler handler;
  wchar_t dir[_MAX_DIR] = L"x";
  EXPECT_EQ(_wsplitpath_s(nullptr, nullptr, 0, dir, _MAX_DIR, nullptr, 0, nullptr, 0), EINVAL);
  EXPECT_STREQ(dir, L"");
  EXPECT_EQ(_wsplitpath_s(L"a\\b", nullptr, 3, dir, _MAX_DIR, nullptr, 0, nullptr, 0), EINVAL);
  EXPECT_EQ(_wsplitpath_s(L"a\\b", nullptr, 0, dir, _MAX_DIR, nullptr, 0, nullptr, 0), 0);
  EXPECT_STREQ(dir, L"a\\");
  EXPECT_EQ(ReturningHandler::calls(), 2);
}

// A temporary directory seen as drive T:.
class FindFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/tessaly-find-XXXXXX";
    ASSERT_NE(::mkdtemp(&templ[0]), nullptr);
    root_ = templ;
    stand_in::SetDriveRoot(L'T', root_);
    for (const char* name : {"plate.dxf", "Plate-2.DXF", "other.dxf", "plateau.txt", "Mod\xc3\xa8le.dxf"})
      Write(name, "0123");
    ASSERT_EQ(::mkdir((root_ + "/sub").c_str(), 0755), 0);
  }
  void TearDown() override {
    stand_in::SetDriveRoot(L'T', "");
    std::system(("rm -rf '" + root_ + "'").c_str());
  }
  void Write(const std::string& name, const std::string& data) { std::ofstream(root_ + "/" + name) << data; }
  bool Exists(const std::string& name) const { return ::access((root_ + "/" + name).c_str(), F_OK) == 0; }

  // Every name the search yields, in order; empty when it can't start.
  static std::vector<std::wstring> Names(const wchar_t* pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(pattern, &data);
    if (h == INVALID_HANDLE_VALUE) return names;
    do names.push_back(data.cFileName);
    while (FindNextFileW(h, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(h));
    return names;
  }

  std::string root_;
};

TEST_F(FindFiles, WildcardsIgnoreCase) {
  using List = std::vector<std::wstring>;
  struct Case {
    const wchar_t* pattern;
    List names;
  } cases[] = {
      {L"T:\\plate*.dxf", {L"Plate-2.DXF", L"plate.dxf"}},
      {L"T:\\*.dxf", {L"Mod\u00e8le.dxf", L"other.dxf", L"Plate-2.DXF", L"plate.dxf"}},
      {L"T:\\MOD\u00c8LE*.dxf", {L"Mod\u00e8le.dxf"}},
      {L"\\\\?\\T:\\plate.dxf", {L"plate.dxf"}},
      {L"t:/PLATE.DXF", {L"plate.dxf"}},
      {L"T:\\?late.dxf", {L"plate.dxf"}},
      {L"T:\\?.dxf", {}},
      {L"T:\\pl?te*", {L"Plate-2.DXF", L"plate.dxf", L"plateau.txt"}},
      {L"T:\\*a*e*.*", {L"Plate-2.DXF", L"plate.dxf", L"plateau.txt"}},
      {L"T:\\*.obj", {}},
      {L"T:\\", {}},
      // The file system's own wildcards: "<" stops short of the last ".",
      // ">" is one character or none at a "." or the end, "\"" is a "." or
      // the end.
      {L"T:\\plate<.dxf", {L"Plate-2.DXF", L"plate.dxf"}},
      {L"T:\\<", {L"sub"}},
      {L"T:\\<.<", {L".", L"..", L"Mod\u00e8le.dxf", L"other.dxf", L"Plate-2.DXF", L"plate.dxf", L"plateau.txt"}},
      {L"T:\\plate>.dxf", {L"plate.dxf"}},
      {L"T:\\plate>>.dxf", {L"Plate-2.DXF", L"plate.dxf"}},
      {L"T:\\>ther.dxf", {L"other.dxf"}},
      {L"T:\\plate\"dxf", {L"plate.dxf"}},
      {L"T:\\sub\"", {L"sub"}},
      {L"T:\\plate\"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Names(c.pattern), c.names) << ToUtf8(c.pattern);
}

TEST_F(FindFiles, EntriesDescribeTheFile) {
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(L"T:\\plate.dxf", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.nFileSizeLow, 4u);
  EXPECT_EQ(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_TRUE(FindClose(h));
  h = FindFirstFileW(L"T:\\su?", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_NE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_TRUE(FindClose(h));
}

TEST_F(FindFiles, FailuresTellWhy) {
  WIN32_FIND_DATAW data;
  EXPECT_EQ(FindFirstFileW(L"T:\\missing\\*.dxf", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(FindFirstFileW(L"T:\\*.obj", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(FindNextFileW(INVALID_HANDLE_VALUE, &data));
  EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// Deleting each file as the search yields it, as the DXF loader does.
TEST_F(FindFiles, DeletingDuringTheSearch) {
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(L"T:\\plate*.dxf", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  int seen = 0;
  do {
    EXPECT_EQ(_wunlink((std::wstring(L"T:\\") + data.cFileName).c_str()), 0);
    ++seen;
  } while (FindNextFileW(h, &data));
  FindClose(h);
  EXPECT_EQ(seen, 2);
  EXPECT_FALSE(Exists("plate.dxf"));
  EXPECT_FALSE(Exists("Plate-2.DXF"));
  EXPECT_TRUE(Exists("other.dxf"));
  EXPECT_EQ(_wunlink(L"T:\\plate.dxf"), -1);
  EXPECT_EQ(errno, ENOENT);
}

// Names Windows forbids in a file name are no Windows files: the search
// never yields them, whatever the pattern. "..\victim.dxf" joined to its
// folder would name a file outside it.
TEST_F(FindFiles, NamesWindowsForbidsAreNeverFound) {
  std::vector<std::string> forbidden = {"..\\victim.dxf", "a\\b.dxf", "c:d.dxf", "e*.dxf", "f?.dxf", "g\"h.dxf",
                                        "i<.dxf",         "j>.dxf",   "k|l.dxf", "bad\xff.dxf", "over\xc0\xae.dxf"};
  for (char c = 1; c < 32; ++c) forbidden.push_back(std::string("ctl") + c + ".dxf");
  for (const std::string& name : forbidden) {
    Write(name, "x");
    ASSERT_TRUE(Exists(name)) << name;
  }
  const std::vector<std::wstring> all = {L"Mod\u00e8le.dxf", L"other.dxf", L"Plate-2.DXF", L"plate.dxf"};
  for (const wchar_t* pattern : {L"T:\\*.dxf", L"T:\\*<.dxf", L"\\\\?\\T:\\*.dxf"})
    EXPECT_EQ(Names(pattern), all) << ToUtf8(pattern);
  std::vector<std::wstring> everything = Names(L"T:\\*");
  EXPECT_EQ(everything.size(), 8u);  // ".", "..", "sub" and the five files
  for (const char* pattern : {"T:\\..?*", "T:\\a*", "T:\\c*", "T:\\e*", "T:\\f*", "T:\\g*", "T:\\i*", "T:\\j*",
                              "T:\\k*", "T:\\bad*", "T:\\over*", "T:\\ctl*"})
    EXPECT_EQ(Names(stand_in::FromUtf8(pattern).c_str()), std::vector<std::wstring>()) << pattern;
  // The names that are Windows names still are.
  Write("plain name.dxf", "x");
  EXPECT_EQ(Names(L"T:\\plain*"), std::vector<std::wstring>({L"plain name.dxf"}));
}

// A pattern of MAX_PATH characters or more is refused unless it has the
// long-path prefix; MAX_PATH - 1 still goes.
TEST_F(FindFiles, PatternsOverMaxPathNeedThePrefix) {
  const std::string fits(MAX_PATH - 1 - 7, 'f'), over(MAX_PATH - 7, 'o');  // after "T:\sub\"
  Write("sub/" + fits, "x");
  Write("sub/" + over, "x");
  const std::wstring fitsPath = L"T:\\sub\\" + stand_in::FromUtf8(fits);
  const std::wstring overPath = L"T:\\sub\\" + stand_in::FromUtf8(over);
  ASSERT_EQ(fitsPath.size(), static_cast<size_t>(MAX_PATH - 1));
  ASSERT_EQ(overPath.size(), static_cast<size_t>(MAX_PATH));
  EXPECT_EQ(Names(fitsPath.c_str()), std::vector<std::wstring>({fitsPath.substr(7)}));
  WIN32_FIND_DATAW data;
  SetLastError(0);
  EXPECT_EQ(FindFirstFileW(overPath.c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
  const std::wstring overWild = L"T:\\sub\\" + std::wstring(MAX_PATH - 8, L'o') + L"*";
  EXPECT_EQ(FindFirstFileW(overWild.c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
  EXPECT_EQ(Names((L"\\\\?\\" + overPath).c_str()), std::vector<std::wstring>({overPath.substr(7)}));
  // Deleting follows the same rule.
  EXPECT_EQ(_wunlink(overPath.c_str()), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_TRUE(Exists("sub/" + over));
  EXPECT_EQ(_wunlink((L"\\\\?\\" + overPath).c_str()), 0);
  EXPECT_FALSE(Exists("sub/" + over));
  EXPECT_EQ(_wunlink(fitsPath.c_str()), 0);
  EXPECT_FALSE(Exists("sub/" + fits));
}

// Windows deletes no read-only file and no directory, even where this
// machine (and its root user) would.
TEST_F(FindFiles, DeletingRefusesReadOnlyFilesAndDirectories) {
  ASSERT_EQ(::chmod((root_ + "/plate.dxf").c_str(), 0444), 0);
  ASSERT_EQ(::chmod((root_ + "/other.dxf").c_str(), 0555), 0);
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(L"T:\\plate.dxf", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_NE(data.dwFileAttributes & FILE_ATTRIBUTE_READONLY, 0u);
  FindClose(h);
  for (const wchar_t* path : {L"T:\\plate.dxf", L"T:\\other.dxf", L"T:\\sub", L"T:\\sub\\"}) {
    errno = 0;
    EXPECT_EQ(_wunlink(path), -1) << ToUtf8(path);
    EXPECT_EQ(errno, EACCES) << ToUtf8(path);
  }
  EXPECT_TRUE(Exists("plate.dxf"));
  EXPECT_TRUE(Exists("other.dxf"));
  EXPECT_TRUE(Exists("sub"));
  // Writable again, it goes.
  ASSERT_EQ(::chmod((root_ + "/plate.dxf").c_str(), 0644), 0);
  EXPECT_EQ(_wunlink(L"T:\\plate.dxf"), 0);
  EXPECT_FALSE(Exists("plate.dxf"));
  errno = 0;
  EXPECT_EQ(_wunlink(L"T:\\plate.dxf"), -1);
  EXPECT_EQ(errno, ENOENT);
}

// ".." stops at the root of the drive: a delete through it never leaves
// the folder the drive is mapped onto.
TEST_F(FindFiles, DotDotStopsAtTheDriveRoot) {
  ASSERT_EQ(::mkdir((root_ + "/drive").c_str(), 0755), 0);
  Write("drive/plate.dxf", "x");
  stand_in::SetDriveRoot(L'T', root_ + "/drive");
  for (const wchar_t* path : {L"T:\\..\\plate.dxf", L"T:\\..\\..\\..\\other.dxf", L"T:..\\other.dxf"}) {
    errno = 0;
    const int result = _wunlink(path);
    if (std::wstring(path) == L"T:\\..\\plate.dxf") {
      EXPECT_EQ(result, 0) << ToUtf8(path);  // T:\plate.dxf
    } else {
      EXPECT_EQ(result, -1) << ToUtf8(path);
      EXPECT_EQ(errno, ENOENT) << ToUtf8(path);
    }
  }
  EXPECT_FALSE(Exists("drive/plate.dxf"));
  EXPECT_TRUE(Exists("plate.dxf"));
  EXPECT_TRUE(Exists("other.dxf"));
  EXPECT_EQ(Names(L"T:\\..\\..\\*.dxf"), std::vector<std::wstring>());
  Write("drive/inside.dxf", "x");
  EXPECT_EQ(Names(L"T:\\..\\sub\\..\\..\\*.dxf"), std::vector<std::wstring>({L"inside.dxf"}));
}

TEST(MessageBox, GoesThroughTheUiDriver) {
  stand_in::ui::ScriptedDriver ui;
  ui.boxAnswers.push_back(IDCANCEL);
  HWND owner = stand_in::window::Create();
  EXPECT_EQ(MessageBoxW(owner, L"text", L"title", MB_OKCANCEL | MB_ICONWARNING), IDCANCEL);
  EXPECT_EQ(MessageBoxW(nullptr, L"second", nullptr, MB_OK), IDOK);
  ASSERT_EQ(ui.events.size(), 2u);
  EXPECT_EQ(ui.events[0].owner, owner);
  EXPECT_EQ(ui.events[0].text, L"text");
  EXPECT_EQ(ui.events[0].title, L"title");
  EXPECT_EQ(ui.events[0].flags, static_cast<UINT>(MB_OKCANCEL | 0x30));
  EXPECT_EQ(ui.events[1].title, L"Error");
}

TEST(ActiveWindow, LastActivePopup) {
  stand_in::window::SetActive(nullptr);
  EXPECT_EQ(GetActiveWindow(), nullptr);
  HWND main = stand_in::window::Create();
  HWND popup = stand_in::window::Create();
  stand_in::window::SetActive(main);
  EXPECT_EQ(GetActiveWindow(), main);
  EXPECT_EQ(GetLastActivePopup(main), main);
  stand_in::window::SetLastActivePopup(main, popup);
  EXPECT_EQ(GetLastActivePopup(main), popup);
  EXPECT_EQ(GetLastActivePopup(reinterpret_cast<HWND>(0x7)), nullptr);
  // Handles survive the 32-bit form hosts pass them in.
  const LONG narrow = static_cast<LONG>(reinterpret_cast<LONG_PTR>(popup));
  EXPECT_EQ(reinterpret_cast<HWND>(static_cast<LONG_PTR>(narrow)), popup);
  stand_in::window::SetActive(nullptr);
}

}  // namespace
