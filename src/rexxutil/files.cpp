// Files and directories: deleting, searching, making, removing, copying, naming, and their times.
#include "rexxutil/files.hpp"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <utime.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <iterator>

#include "platform/os_posix.hpp"
#include "platform/replace.hpp"
#include "platform/signals.hpp"
#include "rexxutil/functions.hpp"

namespace tavmor::rexxutil {

int errnoCode(int error) {
  switch (error) {
    case 0:
      return 0;
    case ENOTDIR:
      return 3;
    case EINVAL:
      return 87;
    case ENAMETOOLONG:
      return 206;
    case ENOENT:
      return 2;
    case ENOSPC:
    case EROFS:
      return 108;
    case EDQUOT:
    case EEXIST:
    case EPERM:
      return 5;
    case ELOOP:
      return 36;
    case EBUSY:
      return 32;
    case EIO:
    case EFAULT:
      return -1;
    default:
      return 1;
  }
}

// With stdio, not iostreams: every launcher file carries this code, and iostreams would add
// half a megabyte of the C++ library's locale machinery to it.
std::optional<std::string> readFileText(const std::string& path) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) return std::nullopt;
  std::string data;
  char buffer[65536];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, in)) > 0;) {
    data.append(buffer, got);
  }
  const bool failed = std::ferror(in) != 0;
  std::fclose(in);
  if (failed) return std::nullopt;
  return data;
}

bool writeWholeFile(const std::string& path, const std::string& text, bool append) {
  // A file that is there is replaced whole or not at all (regutil truncates it first, and a full
  // disk then loses it); devices, pipes and new files are written as they are.
  struct stat existing {};
  if (!append && ::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
    return rewriteFile(path, text);
  }
  const SignalHold held(HeldSignals::kFileSizeLimit);
  std::FILE* out = std::fopen(path.c_str(), append ? "ab" : "wb");
  if (out == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  return std::fclose(out) == 0 && written;
}

namespace {

// What a file is to hold: about `size` bytes, made by `produce`, and what is then to be done to
// the finished file through its descriptor (its times), if anything.
struct NewContent {
  std::uint64_t size;
  ContentSource produce;
  std::function<bool(int fd)> finish;
};

// Writes the content over the file open as fd. The space it needs is reserved first, so that a
// full disk or a file size limit fails the write before a byte has changed.
bool writeInPlace(int fd, const NewContent& content) {
  const SignalHold held(HeldSignals::kFileSizeLimit);
  if (content.size > 0 && ::posix_fallocate(fd, 0, static_cast<off_t>(content.size)) != 0) {
    return false;
  }
  if (::lseek(fd, 0, SEEK_SET) != 0) return false;
  bool written = true;
  std::uint64_t length = 0;
  const Status produced = content.produce([&](const unsigned char* data, std::uint64_t size) {
    length += size;
    return written = written && writeAll(fd, data, size).ok();
  });
  return written && produced.ok() && ::ftruncate(fd, static_cast<off_t>(length)) == 0 &&
         (!content.finish || content.finish(fd)) && ::fsync(fd) == 0;
}

// Makes the regular file at path, followed through links, hold the content, as rewriteFile
// says.
bool replaceContent(const std::string& path, const NewContent& content) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return false;
  const std::string real(resolved);
  std::free(resolved);
  // Opened for writing first: a file the user may not write is refused, as regutil refuses it,
  // rather than replaced.
  FdCloser file(::open(real.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC));
  struct stat before {};
  if (file.fd < 0 || ::fstat(file.fd, &before) != 0 || !S_ISREG(before.st_mode)) return false;
  const std::string folder = real.substr(0, real.rfind('/') + 1);
  const bool ownerKeepable = ::geteuid() == 0 || ::geteuid() == before.st_uid;
  if (before.st_nlink == 1 && ownerKeepable &&
      ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0) {
    bool ownerKept = true;
    const Status replaced = replaceFileAtomically(
        real, content.produce, FileMode::kOwnerOnly, [&](const std::string& temp) {
          const FdCloser made(::open(temp.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
          if (made.fd < 0 || (content.finish && !content.finish(made.fd))) {
            return Status::failure(systemError());
          }
          // Owner first: a change of owner clears the set-user-ID bit that the mode may set.
          if (::fchown(made.fd, before.st_uid, before.st_gid) != 0) {
            ownerKept = errno != EPERM;
            return Status::failure(systemError());
          }
          if (::fchmod(made.fd, before.st_mode & 07777) != 0) return Status::failure(systemError());
          return Status::success();
        });
    // A group the user is not in cannot be given: then the file is written in place.
    if (replaced.ok() || ownerKept) return replaced.ok();
  }
  return writeInPlace(file.fd, content);
}

}  // namespace

bool rewriteFile(const std::string& path, std::string_view text) {
  const auto produce = [&](const ChunkWriter& write) {
    write(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    return Status::success();
  };
  return replaceContent(path, {text.size(), produce, {}});
}

namespace {

// The result of a call that failed with `error`: its code, or a failed call for the errors
// that say something is badly wrong.
APIRET errorResult(PRXSTRING result, int error) {
  const int code = errnoCode(error);
  if (code < 0) return kBadCall;
  return setResult(result, static_cast<long>(code));
}

// The result of a call that returned `rc` (0 for success), read with the errno it left.
APIRET outcome(PRXSTRING result, int rc) {
  return rc == 0 ? setResult(result, "0") : errorResult(result, errno);
}

// Copies a file with its access and modification times; 0, or the errno of the step that
// failed, with a file the copy made removed again. A file copied onto itself stays as it is
// (regutil empties it).
int copyFile(const std::string& from, const std::string& to) {
  const SignalHold held(HeldSignals::kFileSizeLimit);
  const FdCloser in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat source {};
  if (in.fd < 0 || ::fstat(in.fd, &source) != 0) return errno;
  bool made = true;
  FdCloser out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (out.fd < 0 && errno == EEXIST) {
    made = false;
    out.fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  }
  if (out.fd < 0) return errno;
  auto fail = [&] {
    const int error = errno;
    if (made) ::unlink(to.c_str());
    return error;
  };
  struct stat target {};
  if (::fstat(out.fd, &target) != 0) return fail();
  if (target.st_dev == source.st_dev && target.st_ino == source.st_ino) return 0;
  const timespec times[2] = {source.st_atim, source.st_mtim};
  auto readSource = [&](const ChunkWriter& write) {
    unsigned char buffer[32768];
    for (;;) {
      const ssize_t got = ::read(in.fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return Status::failure(systemError());
      if (got == 0) return Status::success();
      if (!write(buffer, static_cast<std::uint64_t>(got))) return Status::success();
    }
  };
  // A file that is there is replaced whole or not at all, keeping its mode and owner, as
  // rewriteFile replaces it.
  if (!made && S_ISREG(target.st_mode)) {
    const bool copied = replaceContent(to, {static_cast<std::uint64_t>(source.st_size), readSource,
                                            [&](int fd) { return ::futimens(fd, times) == 0; }});
    return copied ? 0 : (errno != 0 ? errno : EIO);
  }
  bool writable = true;
  const Status read = readSource([&](const unsigned char* data, std::uint64_t size) {
    return writable = writeAll(out.fd, data, size).ok();
  });
  if (!writable || !read.ok() || ::futimens(out.fd, times) != 0) return fail();
  const int written = out.fd;
  out.fd = -1;
  if (::close(written) != 0) return fail();
  return 0;
}

}  // namespace

APIRET sysFileDelete(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(1, 1)) return kBadCall;
  return outcome(result, std::remove(args.string(0).c_str()));
}

APIRET sysMkDir(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(1, 1)) return kBadCall;
  return outcome(result, mkdir(args.string(0).c_str(), 0755));
}

APIRET sysRmDir(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(1, 1)) return kBadCall;
  if (rmdir(args.string(0).c_str()) == 0) return setResult(result, "0");
  const int code = errnoCode(errno);
  if (code < 0) return kBadCall;
  // A directory in use has a code of its own here.
  return setResult(result, static_cast<long>(code == 32 ? 16 : code));
}

APIRET sysFileSearch(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(3, 4)) return kBadCall;
  const std::string options = lower(args.text(3));
  const bool caseSensitive = options.find('c') != std::string::npos;
  const bool numbered = options.find('n') != std::string::npos;
  const std::optional<std::string> data = readFileText(args.string(1));
  if (!data) return setResult(result, "3");
  if (data->empty()) return setResult(result, "3");
  const std::string target = caseSensitive ? args.string(0) : lower(args.text(0));
  std::vector<std::string> found;
  long number = 1;
  // A line is searched as regutil searches it: case-sensitively, a match must end before the
  // line's last character; otherwise a partial match that fails starts over after the character
  // that broke it.
  const char* const text = data->c_str();
  for (std::size_t at = 0; at < data->size(); ++number) {
    std::size_t end = data->find('\n', at);
    if (end == std::string::npos) end = data->size();
    bool matches = false;
    if (caseSensitive) {
      for (std::size_t p = at; !matches && p + target.size() < end; ++p) {
        matches = std::memcmp(text + p, target.data(), target.size()) == 0;
      }
      matches = matches || target.empty();
    } else {
      std::size_t matched = 0;
      for (std::size_t p = at; matched < target.size() && p <= end; ++p) {
        if (std::tolower(static_cast<unsigned char>(text[p])) ==
            static_cast<unsigned char>(target[matched])) {
          ++matched;
        } else {
          matched = 0;
        }
      }
      matches = matched == target.size();
    }
    if (matches) {
      std::string line = data->substr(at, end - at);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      found.push_back(numbered ? std::to_string(number) + ":" + line : line);
    }
    at = end + 1;
  }
  writeStem(stemName(args.text(2)), found);
  return setResult(result, "0");
}

APIRET sysFileSystemType(PCSZ, ULONG, PRXSTRING, PCSZ, PRXSTRING result) {
  return setResult(result, "UFS");
}

APIRET sysSearchPath(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(2, 2)) return kBadCall;
  const char* path = std::getenv(args.string(0).c_str());
  if (path != nullptr) {
    const std::string_view list(path);
    for (std::size_t at = 0; at <= list.size();) {
      std::size_t end = list.find(':', at);
      if (end == std::string_view::npos) end = list.size();
      if (end > at) {
        const std::string candidate = std::string(list.substr(at, end - at)) + "/" + args.string(1);
        if (access(candidate.c_str(), F_OK) == 0) return setResult(result, candidate);
      }
      at = end + 1;
    }
  }
  return setResult(result, "");
}

APIRET sysTempFileName(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(1, 2)) return kBadCall;
  const std::string pattern = args.string(0);
  const char filler = args.count() > 1 && !args.text(1).empty() ? args.text(1)[0] : '?';
  // Seeded once from the clock and the process, as regutil seeds rand().
  static unsigned long seed = static_cast<unsigned long>(std::time(nullptr)) ^
                              (static_cast<unsigned long>(::getpid()) << 16);
  seed = seed * 6364136223846793005UL + 1442695040888963407UL;
  unsigned long number = (seed >> 33) % 2147483648UL;
  std::string first;
  for (;;) {
    // Up to five fillers, from the left, take the number's digits from its last one back.
    std::string digits = std::to_string(number);
    if (digits.size() < 5) digits.insert(0, 5 - digits.size(), '0');
    std::string name = pattern;
    std::size_t digit = digits.size();
    for (std::size_t at = name.find(filler); at != std::string::npos && digit > digits.size() - 5;
         at = name.find(filler, at + 1)) {
      name[at] = digits[--digit];
    }
    if (first.empty()) {
      first = name;
    } else if (name == first) {
      return setResult(result, "");
    }
    if (access(name.c_str(), F_OK) != 0) return setResult(result, name);
    ++number;
  }
}

APIRET sysCopyObject(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(2, 2)) return kBadCall;
  const int error = copyFile(args.string(0), args.string(1));
  return error == 0 ? setResult(result, "0") : errorResult(result, error);
}

APIRET sysMoveObject(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(2, 2)) return kBadCall;
  const std::string from = args.string(0), to = args.string(1);
  if (std::rename(from.c_str(), to.c_str()) == 0) return setResult(result, "0");
  int error = errno;
  // Across file systems: the source goes only once its copy is whole and closed.
  if (error == EXDEV) {
    error = copyFile(from, to);
    if (error == 0 && std::remove(from.c_str()) != 0) error = errno;
  }
  return error == 0 ? setResult(result, "0") : errorResult(result, error);
}

APIRET sysCreateShadow(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(2, 2)) return kBadCall;
  const std::string from = args.string(0), to = args.string(1);
  int rc = link(from.c_str(), to.c_str());
  if (rc == -1 && errno == EXDEV) rc = symlink(from.c_str(), to.c_str());
  return outcome(result, rc);
}

APIRET sysGetFileDateTime(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(1, 2)) return kBadCall;
  const char which = args.count() == 2 ? lower(args.text(1)).c_str()[0] : 'm';
  struct stat st {};
  if (stat(args.string(0).c_str(), &st) != 0) return setResult(result, errnoCode(errno));
  time_t when;
  if (which == 'm')
    when = st.st_mtime;
  else if (which == 'a')
    when = st.st_atime;
  else if (which == 'c')
    when = st.st_ctime;
  else
    return kBadCall;
  tm local{};
  localtime_r(&when, &local);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return setResult(result, text);
}

APIRET sysSetFileDateTime(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(1, 3)) return kBadCall;
  const std::string_view date = args.text(1), clock = args.text(2);
  if (!date.empty() && date.size() != 10) return kBadCall;
  if (!clock.empty() && clock.size() != 8) return kBadCall;
  const std::string file = args.string(0);
  struct stat st {};
  if (stat(file.c_str(), &st) != 0) return setResult(result, errnoCode(errno));
  utimbuf times{st.st_atime, std::time(nullptr)};
  if (!date.empty()) {
    tm then{};
    then.tm_year = static_cast<int>(atoiOf(date.substr(0, 4))) - 1900;
    then.tm_mon = static_cast<int>(atoiOf(date.substr(5, 2))) - 1;
    then.tm_mday = static_cast<int>(atoiOf(date.substr(8, 2)));
    times.modtime = mktime(&then);
    if (then.tm_isdst) {
      then.tm_isdst = 1;
      then.tm_hour = 0;
      times.modtime = mktime(&then);
    }
  }
  if (!clock.empty()) {
    tm then{};
    localtime_r(&times.modtime, &then);
    then.tm_hour = static_cast<int>(atoiOf(clock.substr(0, 2)));
    then.tm_min = static_cast<int>(atoiOf(clock.substr(3, 2)));
    then.tm_sec = static_cast<int>(atoiOf(clock.substr(6, 2)));
    times.modtime = mktime(&then);
  }
  if (utime(file.c_str(), &times) != 0) return setResult(result, errnoCode(errno));
  return setResult(result, "0");
}

APIRET sysDriveInfo(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(1, 1)) return kBadCall;
  const std::string drive = args.string(0);
  struct statvfs fs {};
  if (statvfs(drive.c_str(), &fs) != 0) return setResult(result, "");
  const unsigned long long unit = fs.f_frsize / 1024 == 0 ? 1 : fs.f_frsize / 1024;
  return setResult(result, drive + " " + std::to_string(fs.f_bavail * unit) + " " +
                               std::to_string(fs.f_blocks * unit) + " " + drive);
}

}  // namespace tavmor::rexxutil
