// The registry file as others share it: a change keeps its mode and owner,
// and a symbolic link to it stays a link.
#include <gtest/gtest.h>

#include <windows.h>

#include "registry_fixture.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

using test_support::FileText;

class RegistryFile : public test_support::RegistryTest {
 protected:
  RegistryFile() : RegistryTest("tessaly-registry-file") {}

  // Makes HKEY_CURRENT_USER\<name>: one write of the file.
  static LSTATUS MakeKey(const wchar_t* name) {
    HKEY key = nullptr;
    const LSTATUS r = RegCreateKeyExW(HKEY_CURRENT_USER, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (key) RegCloseKey(key);
    return r;
  }
  static bool HasKey(const std::string& file, const std::string& name) {
    return FileText(file).find("key HKEY_CURRENT_USER \"" + name + "\"\n") != std::string::npos;
  }
  static struct stat Stat(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st;
  }
  // Names in the folder besides `keep`.
  static std::string Others(const std::string& dir, std::initializer_list<std::string> keep) {
    std::string others;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
      const std::string name = entry.path().filename();
      if (std::find(keep.begin(), keep.end(), name) == keep.end()) others += name + " ";
    }
    return others;
  }
};

TEST_F(RegistryFile, AChangeKeepsTheFilesModeAndOwner) {
  ASSERT_EQ(MakeKey(L"First"), ERROR_SUCCESS);
  for (mode_t mode : {0664, 0640, 0604}) {
    SCOPED_TRACE(mode);
    ASSERT_EQ(::chmod(file_.c_str(), mode), 0);
    ASSERT_EQ(MakeKey((L"Mode" + std::to_wstring(mode)).c_str()), ERROR_SUCCESS);
    EXPECT_EQ(Stat(file_).st_mode & 07777, mode);
  }
  if (::geteuid() != 0) GTEST_SKIP() << "giving the file to another owner needs root";
  ASSERT_EQ(::chown(file_.c_str(), 4242, 4343), 0);
  ASSERT_EQ(MakeKey(L"Owner"), ERROR_SUCCESS);
  const struct stat st = Stat(file_);
  EXPECT_EQ(st.st_uid, 4242u);
  EXPECT_EQ(st.st_gid, 4343u);
  EXPECT_TRUE(HasKey(file_, "Owner"));
}

// Root may write any file, so root tries it as nobody.
TEST_F(RegistryFile, AFileTheWriterMayNotWriteIsNotReplaced) {
  ASSERT_EQ(MakeKey(L"First"), ERROR_SUCCESS);
  ASSERT_EQ(::chmod(file_.c_str(), 0444), 0);
  // Only the file's own permission stands in the way.
  ASSERT_EQ(::chmod(dir_.c_str(), 0777), 0);
  ASSERT_EQ(::chmod((file_ + ".lock").c_str(), 0666), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) _exit(3);
    std::fclose(stderr);  // the refusal's report
    _exit(MakeKey(L"Refused") == ERROR_CANTWRITE ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the write was not refused";
  EXPECT_FALSE(HasKey(file_, "Refused"));
  EXPECT_EQ(Stat(file_).st_mode & 07777, 0444u);
  EXPECT_EQ(Stat(file_).st_uid, ::geteuid());
}

// The link and its target in folders of their own, the target's relative,
// existing or not yet; or on another file system, where only a temporary
// file beside the target can be renamed onto it.
TEST_F(RegistryFile, WritesGoThroughSymbolicLinksToTheirTarget) {
  struct Case {
    const char* what;
    std::string targetDir;
    bool exists;
  };
  const std::string shared = dir_ + "/shared";
  ASSERT_EQ(::mkdir(shared.c_str(), 0755), 0);
  std::vector<Case> cases = {{"existing target", shared, true}, {"target made by the first write", shared, false}};
  char other[] = "/dev/shm/tessaly-registry-XXXXXX";
  struct stat shm {};
  const bool otherDevice = ::stat("/dev/shm", &shm) == 0 && shm.st_dev != Stat(dir_).st_dev && ::mkdtemp(other);
  if (otherDevice) cases.push_back({"target on another file system", other, true});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string target = c.targetDir + "/registry.txt";
    std::remove(target.c_str());
    std::remove(file_.c_str());
    if (c.exists) {
      FILE* f = std::fopen(target.c_str(), "w");
      ASSERT_TRUE(f);
      std::fputs("tessaly registry 1\nend\n", f);
      std::fclose(f);
      ASSERT_EQ(::chmod(target.c_str(), 0664), 0);
    }
    const std::string link = c.targetDir == shared ? "shared/registry.txt" : target;
    ASSERT_EQ(::symlink(link.c_str(), file_.c_str()), 0);

    ASSERT_EQ(MakeKey(L"ThroughTheLink"), ERROR_SUCCESS);
    ASSERT_EQ(MakeKey(L"Again"), ERROR_SUCCESS);
    struct stat st {};
    ASSERT_EQ(::lstat(file_.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link was replaced by a file";
    EXPECT_TRUE(HasKey(target, "ThroughTheLink"));
    EXPECT_TRUE(HasKey(target, "Again"));
    if (c.exists) {
      EXPECT_EQ(Stat(target).st_mode & 07777, 0664u);
    }
    // One lock for writers through the link and writers of the target, and
    // no temporary file left on either side.
    EXPECT_EQ(Others(c.targetDir, {"registry.txt", "registry.txt.lock"}), "");
    EXPECT_EQ(Others(dir_, {"registry.txt", "shared"}), "");
  }
  if (otherDevice) {
    std::remove((std::string(other) + "/registry.txt").c_str());
    std::remove((std::string(other) + "/registry.txt.lock").c_str());
    ::rmdir(other);
  }
}

}  // namespace
