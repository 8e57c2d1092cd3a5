// A registry file of the test's own: while one lives, TESSALY_REGISTRY names
// a file in a fresh folder; afterwards the variable is as it was and the
// folder is gone. Header only, so that the suites below the support library
// can take it without linking it.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace test_support {

class TempRegistry {
 public:
  explicit TempRegistry(const char* prefix = "tessaly-registry") {
    std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
    if (!::mkdtemp(pattern.data())) return;
    dir_ = pattern;
    file_ = dir_ + "/registry.txt";
    const char* old = std::getenv("TESSALY_REGISTRY");
    had_old_ = old != nullptr;
    if (old) old_ = old;
    ::setenv("TESSALY_REGISTRY", file_.c_str(), 1);
  }
  ~TempRegistry() {
    if (dir_.empty()) return;
    if (had_old_) ::setenv("TESSALY_REGISTRY", old_.c_str(), 1);
    else ::unsetenv("TESSALY_REGISTRY");
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  TempRegistry(const TempRegistry&) = delete;
  TempRegistry& operator=(const TempRegistry&) = delete;

  // Empty when the folder could not be made (and nothing was changed).
  const std::string& dir() const { return dir_; }
  const std::string& file() const { return file_; }

 private:
  std::string dir_, file_, old_;
  bool had_old_ = false;
};

}  // namespace test_support
