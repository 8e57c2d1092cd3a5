// A run of tessaly-host leaves nothing behind, ended or interrupted.
//
// The run's temporary files (the host's type library folder, the add-in's
// icon files, whatever else goes to TMP, TEMP or TMPDIR) go into a folder of
// the run's own in the temporary folder. On SIGINT, SIGTERM or SIGHUP (a
// hangup ignored from the start, as under nohup, stays ignored) a handler
// removes that folder and the OBJ file being saved, then ends the process by
// the same signal, so that its status says it was interrupted. The handler
// only makes system calls on memory prepared beforehand: it is safe at any
// point of the run.
#pragma once

#include <string>

namespace tessaly_host {

class RunCleanup {
 public:
  // Makes the run's folder and points TMP, TEMP and TMPDIR at it (when no
  // folder can be made, they stay as they are), and installs the handlers.
  RunCleanup();
  // Removes the folder. What the run left in it is said on standard error,
  // since the host and its add-ins remove their own files.
  ~RunCleanup();
  RunCleanup(const RunCleanup&) = delete;
  RunCleanup& operator=(const RunCleanup&) = delete;

  // Empty when none could be made.
  const std::string& folder() const { return folder_; }

 private:
  std::string folder_;
};

// While one lives, `path` (a file being written, not yet in its place) is
// removed should the run be interrupted.
class PartialFile {
 public:
  explicit PartialFile(std::string path);
  ~PartialFile();
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;

 private:
  std::string path_;
};

// Removes `path` and everything below it (symbolic links themselves, not
// what they lead to) without allocating memory, so that a signal handler may
// call it. True when nothing of it is left.
bool RemoveTree(const char* path);

}  // namespace tessaly_host
