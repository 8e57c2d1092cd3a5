#include "run_cleanup.h"

#include <windows.h>

#include "stand_in/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace tessaly_host {
namespace {

// What the handler removes, set up before it can run.
char g_folder[PATH_MAX];
std::atomic<bool> g_haveFolder{false};
std::atomic<const char*> g_partial{nullptr};

constexpr int kMaxDepth = 16;

// Removes `name` in the folder `parent` and all below it.
bool RemoveAt(int parent, const char* name, int depth) {
  if (::unlinkat(parent, name, 0) == 0 || errno == ENOENT) return true;
  if ((errno != EISDIR && errno != EPERM) || depth == 0) return false;
  const int dir = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (dir < 0) return errno == ENOENT;
  // Removing entries while reading the folder may hide others from the
  // reading: read it again until it is empty.
  for (int pass = 0; pass < 8; ++pass) {
    alignas(8) char buffer[2048];
    bool removed = false;
    ::lseek(dir, 0, SEEK_SET);
    for (;;) {
      const ssize_t n = ::getdents64(dir, buffer, sizeof buffer);
      if (n <= 0) break;
      for (ssize_t at = 0; at < n;) {
        const auto* entry = reinterpret_cast<const struct dirent64*>(buffer + at);
        at += entry->d_reclen;
        const char* child = entry->d_name;
        if (std::strcmp(child, ".") == 0 || std::strcmp(child, "..") == 0) continue;
        removed = RemoveAt(dir, child, depth - 1) || removed;
      }
    }
    if (::unlinkat(parent, name, AT_REMOVEDIR) == 0 || errno == ENOENT) {
      ::close(dir);
      return true;
    }
    if (errno != ENOTEMPTY && errno != EEXIST) break;
    if (!removed) break;
  }
  ::close(dir);
  return false;
}

void OnSignal(int signal) {
  const char* partial = g_partial.load();
  if (partial) ::unlink(partial);
  if (g_haveFolder.load()) RemoveTree(g_folder);
  static const char kSaid[] = "tessaly-host: interrupted\n";
  if (::write(STDERR_FILENO, kSaid, sizeof kSaid - 1) < 0) {
    // Nothing to be done about a closed standard error.
  }
  // The handler is reset on entry: once this one returns, the signal ends
  // the process as it would have without it.
  ::raise(signal);
}

// A closed terminal's hangup ends a run as Ctrl+C does.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

sigset_t EndingSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kEndingSignals) sigaddset(&set, signal);
  return set;
}

void InstallHandlers() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  action.sa_flags = SA_RESETHAND;
  action.sa_mask = EndingSignals();
  for (int signal : kEndingSignals) {
    // A hangup ignored from the start (nohup) cannot end the run, so it
    // stays ignored.
    struct sigaction before {};
    if (signal == SIGHUP && ::sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &action, nullptr);
  }
}

// The temporary folder the run's files would go to: the add-in's; "" when
// there is none.
// One too long for the add-in's buffer is still the host's: the run's folder
// goes there too, so that an interruption takes the host's files with it.
std::string TemporaryFolder() {
  const DWORD size = GetTempPathW(0, nullptr);
  if (size == 0) return "";
  std::wstring folder(size, L'\0');
  const DWORD length = GetTempPathW(size, &folder[0]);
  if (length == 0 || length >= size) return "";
  folder.resize(length);
  return stand_in::NativePath(folder);
}

}  // namespace

bool RemoveTree(const char* path) { return RemoveAt(AT_FDCWD, path, kMaxDepth); }

RunCleanup::RunCleanup() {
  // An ending signal waits while the folder is made and recorded: one that
  // came between the two would leave the folder to nobody.
  const sigset_t ending = EndingSignals();
  sigset_t before;
  ::sigprocmask(SIG_BLOCK, &ending, &before);
  InstallHandlers();
  std::string pattern = TemporaryFolder();
  while (pattern.size() > 1 && pattern.back() == '/') pattern.pop_back();
  pattern += "/tessaly-host-XXXXXX";
  if (pattern.size() > 20 && pattern.size() < sizeof g_folder && ::mkdtemp(&pattern[0])) {
    folder_ = pattern;
    std::memcpy(g_folder, folder_.c_str(), folder_.size() + 1);
    g_haveFolder.store(true);
    for (const char* name : {"TMP", "TEMP", "TMPDIR"}) ::setenv(name, folder_.c_str(), 1);
  }
  ::sigprocmask(SIG_SETMASK, &before, nullptr);
}

RunCleanup::~RunCleanup() {
  if (folder_.empty()) return;
  std::string left;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder_, ec))
    left += (left.empty() ? "" : ", ") + entry.path().filename().string();
  if (!left.empty()) std::fprintf(stderr, "tessaly-host: the run left %s in its temporary folder; removed\n", left.c_str());
  RemoveTree(folder_.c_str());
  g_haveFolder.store(false);
}

PartialFile::PartialFile(std::string path) : path_(std::move(path)) { g_partial.store(path_.c_str()); }

PartialFile::~PartialFile() { g_partial.store(nullptr); }

}  // namespace tessaly_host
