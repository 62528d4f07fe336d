#pragma once
// Where the running program is, for the tool to find what was installed beside it, and whether
// what it finds there is as trustworthy as the program itself.

#include <string>

#include "util/status.hpp"

namespace tavmor {

// The path of the running executable (UTF-8), with links resolved. Linux reads /proc/self/exe,
// and where /proc is not there the path the program was started by; a failure says why the
// platform cannot tell ("/proc/self/exe: No such file or directory" where neither answers).
Result<std::string> currentExecutablePath();

// Whether nobody but root and the owner of `program` could have written the file at `path` or
// a folder that holds it, up to and including `root` (up to the file system's root for a file
// that links out of `root`). The failure says which one someone else could have written and
// why ("its folder DIR is owned by user NAME (UID), ...", "it may be written by every user
// (mode 0666)"): POSIX, another owner, or write permission for its group or for everyone.
// Windows does not check.
Status checkWrittenOnlyByOwners(const std::string& path, const std::string& root,
                                const std::string& program);

}  // namespace tavmor
