#include <gtest/gtest.h>

#include "stand_in/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cwchar>
#include <string>

using stand_in::NativePath;
using stand_in::WindowsPath;

TEST(Paths, DriveLettersMapOntoRoots) {
  stand_in::SetDriveRoot(L'D', "/tmp/drive-d/");
  struct Case {
    const wchar_t* windows;
    const char* native;
  } cases[] = {
      {L"D:\\out\\plate.sldprt", "/tmp/drive-d/out/plate.sldprt"},
      {L"d:/out/plate.dxf", "/tmp/drive-d/out/plate.dxf"},
      {L"D:\\", "/tmp/drive-d"},
      {L"Z:\\etc\\hosts", "/etc/hosts"},
      {L"\\usr\\share", "/usr/share"},
      {L"models\\chair.3ds", "models/chair.3ds"},
      {L"\\\\server\\share\\f.3ds", "/mnt/unc/server/share/f.3ds"},
      {L"\\\\?\\D:\\out\\plate.dxf", "/tmp/drive-d/out/plate.dxf"},
      {L"\\\\?\\UNC\\server\\share\\f.3ds", "/mnt/unc/server/share/f.3ds"},
  };
  for (const Case& c : cases) EXPECT_EQ(NativePath(c.windows), c.native) << c.native;
  stand_in::SetDriveRoot(L'D', "");
  EXPECT_EQ(NativePath(L"D:\\x"), "/mnt/d/x");
}

TEST(Paths, NativePathsGetTheirDriveBack) {
  stand_in::SetDriveRoot(L'D', "/tmp/drive-d");
  EXPECT_EQ(WindowsPath("/tmp/drive-d/out/a.dxf"), L"D:\\out\\a.dxf");
  EXPECT_EQ(WindowsPath("/tmp/drive-dx/a"), L"Z:\\tmp\\drive-dx\\a");
  EXPECT_EQ(WindowsPath("/usr/lib"), L"Z:\\usr\\lib");
  EXPECT_EQ(NativePath(WindowsPath("/usr/lib/x")), "/usr/lib/x");
  stand_in::SetDriveRoot(L'D', "");
}

// "." and ".." are resolved by the text, as Windows does, and ".." never
// climbs above the root: of the drive, of /, or of \\srv\share. Behind the
// long-path prefix, and for a share without both names, no file is named.
TEST(Paths, DotDotStopsAtTheRoot) {
  stand_in::SetDriveRoot(L'D', "/tmp/drive-d");
  struct Case {
    const wchar_t* windows;
    const char* native;
  } cases[] = {
      {L"D:\\..\\plate.dxf", "/tmp/drive-d/plate.dxf"},
      {L"D:\\out\\..\\..\\..\\a", "/tmp/drive-d/a"},
      {L"D:/out/./a/../b", "/tmp/drive-d/out/b"},
      {L"D:\\out\\\\sub\\", "/tmp/drive-d/out/sub/"},
      {L"D:\\out\\..", "/tmp/drive-d"},
      {L"D:..\\x", "/tmp/drive-d/x"},
      {L"D:\\..", "/tmp/drive-d"},
      {L"\\..\\etc", "/etc"},
      {L"\\a\\..\\..\\b\\.\\c", "/b/c"},
      {L"\\\\srv\\share\\..\\x", "/mnt/unc/srv/share/x"},
      {L"\\\\srv\\share\\a\\..\\..\\..\\x", "/mnt/unc/srv/share/x"},
      {L"\\\\srv\\share", "/mnt/unc/srv/share"},
      {L"\\\\srv\\share\\..", "/mnt/unc/srv/share"},
      {L"\\\\?\\UNC\\srv\\share\\f", "/mnt/unc/srv/share/f"},
      {L"\\\\srv\\..\\x", ""},
      {L"\\\\..\\share\\x", ""},
      {L"\\\\.\\share\\x", ""},
      {L"\\\\srv", ""},
      {L"\\\\\\srv\\share", ""},
      {L"\\\\?\\D:\\..\\x", ""},
      {L"\\\\?\\D:\\out\\.\\x", ""},
      {L"\\\\?\\UNC\\srv\\share\\..\\x", ""},
      {L"a\\..\\b", "b"},
      {L"a\\.\\b\\", "a/b/"},
      {L"a\\..", "."},
      {L".", "."},
      {L"", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(NativePath(c.windows), c.native) << std::string(c.windows, c.windows + std::wcslen(c.windows));
  stand_in::SetDriveRoot(L'D', "");
}

// A relative path climbs from the working directory's Windows form, so it
// stops at the root of the drive the working directory is on.
TEST(Paths, RelativeDotDotStopsAtTheWorkingDirectorysDrive) {
  const char* tmp = std::getenv("TMPDIR");
  std::string root = std::string(tmp && *tmp ? tmp : "/tmp") + "/tessaly-paths-XXXXXX";
  ASSERT_NE(::mkdtemp(&root[0]), nullptr);
  // The working directory comes back without links, so the root must too.
  char* real = ::realpath(root.c_str(), nullptr);
  ASSERT_NE(real, nullptr);
  root = real;
  std::free(real);
  ASSERT_EQ(::mkdir((root + "/out").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((root + "/out/sub").c_str(), 0755), 0);
  char saved[4096];
  ASSERT_NE(::getcwd(saved, sizeof saved), nullptr);
  stand_in::SetDriveRoot(L'R', root);
  ASSERT_EQ(::chdir((root + "/out/sub").c_str()), 0);
  EXPECT_EQ(NativePath(L"..\\x"), root + "/out/x");
  EXPECT_EQ(NativePath(L"..\\..\\x"), root + "/x");
  EXPECT_EQ(NativePath(L"..\\..\\..\\..\\..\\..\\..\\..\\x"), root + "/x");
  EXPECT_EQ(NativePath(L"a\\..\\..\\..\\..\\y\\"), root + "/y/");
  EXPECT_EQ(NativePath(L"..\\sub\\..\\..\\out"), root + "/out");
  EXPECT_EQ(::chdir(saved), 0);
  stand_in::SetDriveRoot(L'R', "");
  std::system(("rm -rf '" + root + "'").c_str());
}
