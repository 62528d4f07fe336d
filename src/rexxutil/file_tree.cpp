// SysFileTree: the files and directories that match a pattern, with their times, sizes and
// permissions, in the order the directories list them.
#include <dirent.h>
#include <errno.h>
#include <fnmatch.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "rexxutil/files.hpp"
#include "rexxutil/functions.hpp"

namespace tavmor::rexxutil {
namespace {

constexpr int kFiles = 1;
constexpr int kDirectories = 2;

enum class TimeFormat { kLocale, kSortable, kLong };

struct Search {
  int wanted = 0;
  std::string pattern;
  // Five characters, each '+', '-' or anything else, for: more than one link, executable,
  // unreadable, unwritable, owned by a system user (uid below 10).
  std::optional<std::string> attributes;
  bool recursive = false;
  bool namesOnly = false;
  TimeFormat timeFormat = TimeFormat::kLocale;
};

std::string permissions(mode_t mode) {
  std::string p;
  for (const mode_t bit :
       {S_IRUSR, S_IWUSR, S_IXUSR, S_IRGRP, S_IWGRP, S_IXGRP, S_IROTH, S_IWOTH, S_IXOTH}) {
    p += (mode & bit) ? "rwx"[p.size() % 3] : '-';
  }
  return p;
}

char typeLetter(mode_t mode) {
  switch (mode & S_IFMT) {
    case S_IFIFO:
      return 'p';
    case S_IFCHR:
      return 'c';
    case S_IFBLK:
      return 'b';
    case S_IFLNK:
      return 'l';
    case S_IFSOCK:
      return 's';
    default:
      return '-';
  }
}

std::string describe(const Search& search, const struct stat& st, char type,
                     const std::string& path) {
  tm local{};
  localtime_r(&st.st_mtime, &local);
  char when[64];
  switch (search.timeFormat) {
    case TimeFormat::kSortable:
      std::snprintf(when, sizeof when, "%4d/%02d/%02d/%02d/%02d", local.tm_year + 1900,
                    local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
      break;
    case TimeFormat::kLong:
      std::snprintf(when, sizeof when, "%4d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
                    local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
      break;
    case TimeFormat::kLocale:
      std::strftime(when, sizeof when, "%c", &local);
      break;
  }
  char size[32];
  std::snprintf(size, sizeof size, "%10lld", static_cast<long long>(st.st_size));
  std::string line = when;
  line.append(" ").append(size).append(" ");
  line.push_back(type);
  line.append(permissions(st.st_mode)).append(" ").append(path);
  return line;
}

void collect(const Search& search, const std::string& directory, std::vector<std::string>& found) {
  DIR* listing = opendir(directory.c_str());
  if (listing == nullptr) return;
  std::string prefix;
  if (directory != ".") prefix = directory.back() == '/' ? directory : directory + "/";
  // A directory whose link count is 2 has no subdirectories (each one's ".." would be a link).
  struct stat self {};
  stat(directory.c_str(), &self);
  const bool mayHaveSubdirectories = self.st_nlink > 2;
  if (!mayHaveSubdirectories && !(search.wanted & kFiles)) {
    closedir(listing);
    return;
  }
  int links = 0, system = 0, required = 0, excluded = 0;
  if (search.attributes) {
    const std::string& a = *search.attributes;
    links = a[0] == '+' ? 1 : a[0] == '-' ? -1 : 0;
    if (a[1] == '+')
      required |= X_OK;
    else if (a[1] == '-')
      excluded |= X_OK;
    if (a[2] == '+')
      excluded |= R_OK;
    else if (a[2] == '-')
      required |= R_OK;
    if (a[3] == '+')
      excluded |= W_OK;
    else if (a[3] == '-')
      required |= W_OK;
    system = a[4] == '+' ? 1 : a[4] == '-' ? -1 : 0;
  }
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const bool matches = fnmatch(search.pattern.c_str(), name.c_str(), 0) == 0;
    if ((!search.recursive || !mayHaveSubdirectories) && !matches) continue;
    const std::string path = prefix + name;
    if (required != 0 && access(path.c_str(), required) != 0) continue;
    if (excluded != 0 && access(path.c_str(), excluded) == 0) continue;
    struct stat st {};
    if (!search.namesOnly || links != 0 || system != 0) {
      if (lstat(path.c_str(), &st) != 0) continue;
    } else {
      // The listing's own type is enough here, tested as a bit mask as regutil tests it.
      st.st_mode = (entry->d_type & DT_DIR) ? S_IFDIR : S_IFREG;
    }
    if ((links > 0 && st.st_nlink < 2) || (links < 0 && st.st_nlink > 1)) continue;
    if ((system > 0 && st.st_uid >= 10) || (system < 0 && st.st_uid <= 10)) continue;
    if (matches && !S_ISDIR(st.st_mode) && (search.wanted & kFiles)) {
      found.push_back(search.namesOnly ? path : describe(search, st, typeLetter(st.st_mode), path));
    } else if (mayHaveSubdirectories && S_ISDIR(st.st_mode)) {
      if (matches && (search.wanted & kDirectories)) {
        found.push_back(search.namesOnly ? path : describe(search, st, 'd', path));
      }
      if (search.recursive) collect(search, path, found);
    }
  }
  closedir(listing);
}

}  // namespace

APIRET sysFileTree(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(2, 5)) return kBadCall;
  Search search;
  for (const char option : upper(args.text(2))) {
    switch (option) {
      case 'F':
        search.wanted |= kFiles;
        break;
      case 'D':
        search.wanted |= kDirectories;
        break;
      case 'B':
        search.wanted = kFiles | kDirectories;
        break;
      case 'S':
        search.recursive = true;
        break;
      case 'T':
        search.timeFormat = TimeFormat::kSortable;
        break;
      case 'L':
        search.timeFormat = TimeFormat::kLong;
        break;
      case 'O':
        search.namesOnly = true;
        break;
      default:
        break;
    }
  }
  if (search.wanted == 0) search.wanted = kFiles | kDirectories;
  if (args.count() > 3) {
    std::string attributes = args.string(3).substr(0, 5);
    attributes.resize(5, '*');
    search.attributes = attributes;
  }
  const std::string spec = args.string(0);
  std::string directory;
  const std::size_t slash = spec.rfind('/');
  if (slash == std::string::npos) {
    directory = ".";
    search.pattern = spec;
  } else {
    directory = slash == 0 ? "/" : spec.substr(0, slash);
    search.pattern = spec.substr(slash + 1);
  }
  if (search.pattern.empty()) search.pattern.assign(1, '*');
  if (directory[0] != '/') {
    char cwd[PATH_MAX + 1];
    if (getcwd(cwd, sizeof cwd) == nullptr) cwd[0] = '\0';
    std::string absolute = cwd;
    if (directory != ".") absolute.append("/").append(directory);
    directory = absolute;
  }
  char resolved[PATH_MAX + 1];
  int code = 0;
  std::vector<std::string> found;
  if (realpath(directory.c_str(), resolved) == nullptr) {
    code = errnoCode(errno);
  } else {
    collect(search, resolved, found);
  }
  writeStem(stemName(args.text(1)), found);
  return setResult(result, static_cast<long>(code));
}

}  // namespace tavmor::rexxutil
