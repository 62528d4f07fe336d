// Linked in whole, the C library answers getpwuid(), getgrgid() and gethostbyname() through its
// name-service switch, which loads whatever modules nsswitch.conf names (LDAP, SSSD, systemd)
// from the system's own C library, of any version, and brings a dynamic loader into every
// launcher file. The launcher is linked with --wrap for the three, and the statically linked
// tool for the first two, so that Regina's calls and their own come here instead.
#include <arpa/inet.h>
#include <arpa/nameser.h>
#include <netinet/in.h>
#include <resolv.h>
#include <strings.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "platform/name_services.hpp"

namespace tavmor {
namespace {

// Storage that grows with what it holds: the line an entry's fields point into, and lists of
// pointers that end in a null (a group's members, a host's names and addresses).
struct LineBuffer {
  char* text = nullptr;
  std::size_t capacity = 0;
};

struct PointerList {
  char** items = nullptr;
  std::size_t capacity = 0;

  // Room for `count` entries and the null after them; false when out of memory.
  bool reserve(std::size_t count) {
    if (count < capacity) return true;
    void* grown = std::realloc(items, (count + 1) * sizeof(char*));
    if (grown == nullptr) return false;
    items = static_cast<char**>(grown);
    capacity = count + 1;
    return true;
  }
};

// Calls `found` with each line of `path` that holds something (blank lines and comments
// skipped, the newline removed) until it returns true; false when none did or the file cannot
// be read.
template <typename Match>
bool scanFile(const char* path, LineBuffer& line, Match found) {
  std::FILE* file = std::fopen(path, "re");
  if (file == nullptr) return false;
  bool matched = false;
  ssize_t length = 0;
  while (!matched && (length = ::getline(&line.text, &line.capacity, file)) >= 0) {
    if (length > 0 && line.text[length - 1] == '\n') line.text[length - 1] = '\0';
    char* start = line.text;
    while (std::isspace(static_cast<unsigned char>(*start))) ++start;
    if (*start != '\0' && *start != '#') matched = found(start);
  }
  std::fclose(file);
  return matched;
}

// The fields of a passwd or group line as the C library's parser takes them, one after another
// from `line`: text up to the next colon or the end of the line (a missing field is empty), or a
// number below 2^32, which strtoul must find and a colon or the end must follow. A NIS name
// ("+name" or
// "-name") may leave its number empty, which is 0.
char* textField(char*& line) {
  char* field = line;
  line += std::strcspn(line, ":");
  if (*line != '\0') *line++ = '\0';
  return field;
}

bool numberField(char*& line, bool mayBeEmpty, std::uint32_t* value) {
  if (*line == '\0') return false;
  char* end = nullptr;
  const unsigned long number = std::strtoul(line, &end, 10);
  if (number > UINT32_MAX) return false;  // a negative number among them
  *value = static_cast<std::uint32_t>(number);
  if (end == line) {
    if (!mayBeEmpty) return false;
    *value = 0;
  }
  if (*end != ':' && *end != '\0') return false;
  line = *end == ':' ? end + 1 : end;
  return true;
}

bool isNisName(const char* name) { return name[0] == '+' || name[0] == '-'; }

// Cuts `text` at each separator into `list`, each piece without the white space before it and
// empty pieces left out; false when out of memory.
bool splitList(char* text, const char* separators, PointerList& list) {
  std::size_t count = 0;
  for (char* piece = text; *piece != '\0';) {
    while (std::isspace(static_cast<unsigned char>(*piece))) ++piece;
    const std::size_t length = std::strcspn(piece, separators);
    if (length > 0) {
      if (!list.reserve(count + 1)) return false;
      list.items[count++] = piece;
    }
    piece += length;
    if (*piece != '\0') *piece++ = '\0';
  }
  if (!list.reserve(count)) return false;
  list.items[count] = nullptr;
  return true;
}

// The host found last, in whichever way.
struct HostEntry {
  LineBuffer line;
  PointerList names;
  PointerList addressList;
  char name[NS_MAXDNAME];
  in_addr addresses[32];
  hostent entry;
};

HostEntry& lastHost() {
  static HostEntry host;
  return host;
}

hostent* noHost(int error) {
  h_errno = error;
  return nullptr;
}

// The entry with its first `count` addresses, and `aliases` (none when null).
hostent* completeHost(HostEntry& host, std::size_t count, char** aliases) {
  if (aliases == nullptr) {
    if (!host.names.reserve(0)) return noHost(NETDB_INTERNAL);
    host.names.items[0] = nullptr;
    aliases = host.names.items;
  }
  if (!host.addressList.reserve(count)) return noHost(NETDB_INTERNAL);
  for (std::size_t i = 0; i < count; ++i) {
    host.addressList.items[i] = reinterpret_cast<char*>(&host.addresses[i]);
  }
  host.addressList.items[count] = nullptr;
  host.entry.h_aliases = aliases;
  host.entry.h_addrtype = AF_INET;
  host.entry.h_length = sizeof(in_addr);
  host.entry.h_addr_list = host.addressList.items;
  return &host.entry;
}

// A name of digits and dots is an IPv4 address, which stands for itself, as the C library takes
// it; otherwise it names no host.
hostent* hostFromDigits(const char* name) {
  HostEntry& host = lastHost();
  const std::size_t length = std::strlen(name);
  if (length >= sizeof host.name || ::inet_aton(name, &host.addresses[0]) == 0) {
    return noHost(HOST_NOT_FOUND);
  }
  std::memcpy(host.name, name, length + 1);
  host.entry.h_name = host.name;
  return completeHost(host, 1, nullptr);
}

}  // namespace

passwd* userFromFile(const char* path, uid_t uid) {
  static LineBuffer line;
  static passwd user;
  const bool found = scanFile(path, line, [uid](char* text) {
    char* name = textField(text);
    char* password = textField(text);
    std::uint32_t id = 0, group = 0;
    if (!numberField(text, isNisName(name), &id) || id != uid ||
        !numberField(text, isNisName(name), &group)) {
      return false;
    }
    char* gecos = textField(text);
    char* home = textField(text);
    user = passwd{name, password, id, group, gecos, home, text};
    return true;
  });
  return found ? &user : nullptr;
}

group* groupFromFile(const char* path, gid_t gid) {
  static LineBuffer line;
  static PointerList members;
  static group result;
  bool noMemory = false;
  const bool found = scanFile(path, line, [&](char* text) {
    char* name = textField(text);
    char* password = textField(text);
    std::uint32_t id = 0;
    if (!numberField(text, isNisName(name), &id) || id != gid) return false;
    noMemory = !splitList(text, ",", members);
    result = group{name, password, id, members.items};
    return true;
  });
  if (noMemory) errno = ENOMEM;
  return found && !noMemory ? &result : nullptr;
}

hostent* hostFromFile(const char* path, const char* name) {
  HostEntry& host = lastHost();
  bool noMemory = false;
  const bool found = scanFile(path, host.line, [&](char* line) {
    line[std::strcspn(line, "#")] = '\0';
    if (!splitList(line, " \t", host.names)) return noMemory = true;
    char** fields = host.names.items;
    if (fields[0] == nullptr || fields[1] == nullptr ||
        ::inet_pton(AF_INET, fields[0], &host.addresses[0]) != 1) {
      return false;
    }
    for (char** alias = fields + 1; *alias != nullptr; ++alias) {
      if (::strcasecmp(*alias, name) == 0) return true;
    }
    return false;
  });
  if (noMemory) return noHost(NETDB_INTERNAL);
  if (!found) return noHost(HOST_NOT_FOUND);
  host.entry.h_name = host.names.items[1];
  return completeHost(host, 1, host.names.items + 2);
}

hostent* hostFromDnsAnswer(const unsigned char* answer, int length) {
  HostEntry& host = lastHost();
  if (answer == nullptr || length < NS_HFIXEDSZ) return noHost(NO_DATA);
  const unsigned char* const end = answer + length;
  const unsigned char* cursor = answer + 4;
  unsigned questions = 0, records = 0;
  NS_GET16(questions, cursor);
  NS_GET16(records, cursor);
  cursor = answer + NS_HFIXEDSZ;
  for (; questions > 0; --questions) {
    const int skipped = ::dn_skipname(cursor, end);
    if (skipped < 0 || end - cursor < skipped + NS_QFIXEDSZ) return noHost(NO_DATA);
    cursor += skipped + NS_QFIXEDSZ;
  }
  std::size_t count = 0;
  for (; records > 0 && count < std::size(host.addresses); --records) {
    char owner[NS_MAXDNAME];
    const int skipped = ::dn_expand(answer, end, cursor, owner, sizeof owner);
    if (skipped < 0 || end - cursor < skipped + NS_RRFIXEDSZ) break;
    cursor += skipped;
    unsigned type = 0, recordClass = 0, dataLength = 0;
    NS_GET16(type, cursor);
    NS_GET16(recordClass, cursor);
    cursor += NS_INT32SZ;  // time to live
    NS_GET16(dataLength, cursor);
    if (end - cursor < static_cast<std::ptrdiff_t>(dataLength)) break;
    if (type == ns_t_a && recordClass == ns_c_in && dataLength == sizeof(in_addr)) {
      if (count == 0) std::memcpy(host.name, owner, sizeof owner);
      std::memcpy(&host.addresses[count++], cursor, sizeof(in_addr));
    }
    cursor += dataLength;
  }
  if (count == 0) return noHost(NO_DATA);
  host.entry.h_name = host.name;
  return completeHost(host, count, nullptr);
}

}  // namespace tavmor

extern "C" {

passwd* __wrap_getpwuid(uid_t uid) { return tavmor::userFromFile("/etc/passwd", uid); }

group* __wrap_getgrgid(gid_t gid) { return tavmor::groupFromFile("/etc/group", gid); }

hostent* __wrap_gethostbyname(const char* name) {
  if (name == nullptr || *name == '\0') return tavmor::noHost(HOST_NOT_FOUND);
  if (std::strspn(name, "0123456789.") == std::strlen(name)) return tavmor::hostFromDigits(name);
  if (hostent* listed = tavmor::hostFromFile("/etc/hosts", name)) return listed;
  if (h_errno == NETDB_INTERNAL) return nullptr;
  unsigned char answer[NS_MAXMSG];
  const int length = ::res_search(name, ns_c_in, ns_t_a, answer, sizeof answer);
  // res_search has set h_errno when it fails.
  return length >= 0 ? tavmor::hostFromDnsAnswer(answer, length < NS_MAXMSG ? length : NS_MAXMSG)
                     : nullptr;
}
}
