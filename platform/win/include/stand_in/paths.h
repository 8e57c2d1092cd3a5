// How Windows paths reach this machine's file system.
//
//   X:\dir\name    ->  <root of drive X>/dir/name
//   \dir\name      ->  /dir/name
//   dir\name       ->  dir/name (relative to the working directory)
//   \\srv\share\f  ->  /mnt/unc/srv/share/f
//
// The long-path prefix \\?\ (and \\?\UNC\ for a share) is dropped first.
// Both separators are accepted. "." and ".." are resolved by the text, as
// Windows does, and ".." stops at the root: of the drive, of / for \dir, of
// \\srv\share, and for a relative path of the working directory's drive.
// Behind \\?\ they are names no file has. A path that names no file (also
// \\srv without a share) maps to "", which every file call refuses.
// The root of drive X is, in order: the one set by SetDriveRoot, the
// environment variable TESSALY_DRIVE_X, and else "/" for Z: and /mnt/x for
// every other letter.
#pragma once

#include <string>
#include <vector>

namespace stand_in {

std::string NativePath(const std::wstring& windows_path);
// The Windows form of a native path: under the longest matching drive root,
// else on Z:.
std::wstring WindowsPath(const std::string& native_path);
// Maps drive `letter` onto `root` (an empty root restores the default).
void SetDriveRoot(wchar_t letter, const std::string& root);
std::string DriveRoot(wchar_t letter);

// Reads the whole of the native file `path` into `out`; false with the last
// error set as opening it on Windows would. Running out of memory throws
// std::bad_alloc.
bool ReadWholeFile(const std::string& path, std::vector<unsigned char>& out);

}  // namespace stand_in
