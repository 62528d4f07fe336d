#pragma once
// Where the running program is, for the tool to find what was installed beside it, and whether
// what it finds there is as trustworthy as the program itself.

#include <string>

#include "platform/file.hpp"
#include "util/status.hpp"

namespace tavmor {

// The path of the running executable (UTF-8), with links resolved. Linux reads /proc/self/exe,
// and where /proc is not there the path the program was started by; a failure says why the
// platform cannot tell ("/proc/self/exe: No such file or directory" where neither answers).
Result<std::string> currentExecutablePath();

// Reads the regular file at `path`, which lies in the folder `root`, provided nobody but root
// and the owner of `program` could have written it or any folder passed on the way to it: every
// folder from `root` down, on the path as given and on every path a link on it leads through
// (from "/" down for a link that leads out of `root`), each link's own folder included. The
// file is read from the descriptor that was checked, so what is read is what was checked. The
// failure is kNoPermission when someone else could have written one of them, saying which and
// why ("its folder DIR is owned by user NAME (UID), ...", "it may be written by every user
// (mode 0666)"); kCannotOpen for a missing file or one that is no regular file; else kCannotRead
// or kNoMemory. Windows does not check, and reads the file as readWholeFile does.
Result<FileImage> readFileWrittenOnlyByOwners(const std::string& path, const std::string& root,
                                              const std::string& program);

}  // namespace tavmor
