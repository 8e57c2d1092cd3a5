// A registry file of the test's own: while one lives, TESSALY_REGISTRY names
// a file in a fresh folder; afterwards the variable is as it was and the
// folder is gone. Header only, like temp_dir.h.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <string>

#include "temp_dir.h"

namespace test_support {

class TempRegistry {
 public:
  explicit TempRegistry(const char* prefix = "tessaly-registry") : dir_(prefix) {
    if (dir_.path().empty()) return;
    file_ = dir_.path() + "/registry.txt";
    const char* old = std::getenv("TESSALY_REGISTRY");
    had_old_ = old != nullptr;
    if (old) old_ = old;
    ::setenv("TESSALY_REGISTRY", file_.c_str(), 1);
  }
  ~TempRegistry() {
    if (file_.empty()) return;
    if (had_old_) ::setenv("TESSALY_REGISTRY", old_.c_str(), 1);
    else ::unsetenv("TESSALY_REGISTRY");
  }
  TempRegistry(const TempRegistry&) = delete;
  TempRegistry& operator=(const TempRegistry&) = delete;

  // Empty when the folder could not be made (and nothing was changed).
  const std::string& dir() const { return dir_.path(); }
  const std::string& file() const { return file_; }

 private:
  TempDir dir_;
  std::string file_, old_;
  bool had_old_ = false;
};

}  // namespace test_support
