// A fresh folder for one test, gone with it, and the readers tests use on
// the files they leave there. Header only, so that the suites below the
// support library can take it without linking it.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace test_support {

class TempDir {
 public:
  explicit TempDir(const char* prefix) {
    std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~TempDir() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Empty when the folder could not be made.
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Makes and answers a folder below `base` whose path has exactly `length`
// characters (when `base` is shorter), in names of at most 100 characters:
// a path too long for Windows' 260 that this machine still takes.
inline std::filesystem::path DeepFolder(const std::filesystem::path& base, size_t length) {
  std::filesystem::path deep = base;
  while (deep.string().size() + 1 < length) {
    const size_t left = length - deep.string().size() - 1;
    deep /= std::string(left < 100 ? left : 100, 'd');
  }
  std::filesystem::create_directories(deep);
  return deep;
}

// The whole of a file as bytes; empty when it cannot be read.
inline std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A file's lines without their ends; none when it cannot be read.
inline std::vector<std::string> FileLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace test_support
