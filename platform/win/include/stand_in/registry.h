// Where the stand-in registry is kept, and its file form.
//
// The file is the environment variable TESSALY_REGISTRY when it is set and
// not empty, else $XDG_DATA_HOME/tessaly/registry.txt (~/.local/share when
// XDG_DATA_HOME is unset). The variable is read at every call, so a test can
// point the registry at a file of its own at any time. A missing file is an
// empty registry; folders on the way are made at the first write.
//
// Every change rewrites the whole file: a temporary file beside it, flushed
// to disk, then renamed over it, under a lock file (<file>.lock) that keeps
// writers of several processes apart. A reader never sees half a file, and a
// process killed at any point leaves the old or the new contents. When the
// file is a symbolic link, all of this happens beside the file the link
// leads to, and the link stays; the new file keeps the old one's mode, group
// and (when the writer may give files away) owner, and a file the writer may
// not write is not replaced. Before
// each call the file is compared (device, inode, size, time) with the one
// last read, and read again when another process changed it.
//
// The text form, one item a line (leading blanks and # comment lines are
// ignored):
//
//   tessaly registry 1
//   key HKEY_CURRENT_USER "Software" "VELMOR"
//     value "Units" dword 0x00000003
//     value "" sz "default text"
//     value "raw" hex(3) 0a0b0c
//   end
//
// A key line names a hive and the key's path, one quoted name per level; a
// key's parent comes before it. Value lines belong to the key above them.
// Types: sz, expand_sz and multi_sz hold a quoted text that stands for its
// UTF-16 data with one terminating zero (the word "unterminated" after the
// text drops it); dword a 32-bit number in hexadecimal; hex(T) any type T with
// its bytes in hexadecimal. Quoted texts are UTF-8 with the escapes \\ \"
// \n \r \t \0 and \u{hex} (any other character). The line "end" closes the
// file, so that a cut file is seen as one.
//
// A damaged file is reported once on standard error with its name and line;
// while it stays damaged every registry call fails with ERROR_BADDB and
// nothing is written, so that what it holds is never replaced.
#pragma once

#include <cstddef>
#include <string>

namespace stand_in {
namespace registry {

// The file the registry is kept in now.
std::string FilePath();

// Reads `text` as a registry file named `file_name` (for messages). On
// success writes its canonical form to `canonical` (if not null) and returns
// true; otherwise returns false with "FILE, line N: what" in `error`.
bool ParseText(const std::string& text, const std::string& file_name, std::string* canonical,
               std::string* error);

// The last damage found in the registry file, empty when none.
std::string LastError();

// Reads the registry file as the registry functions would, keeping nothing
// and reporting nothing: true when it is missing or sound, else false with
// one line in `error` that names the file (and the line of the damage).
bool CheckFile(std::string* error);

// Open key handles (not counting the predefined roots).
size_t OpenKeyCount();

}  // namespace registry
}  // namespace stand_in
