#include <gtest/gtest.h>

#include "stand_in/paths.h"

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
