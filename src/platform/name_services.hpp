#pragma once
// Users, groups and hosts as the C library's name-service switch gives them when configured to
// "files" for users and groups and "files dns" for hosts, read by the launcher itself. Each
// result lives in static storage until the next call of the same function, as the C library's.

#include <grp.h>
#include <netdb.h>
#include <pwd.h>

namespace tavmor {

// The first entry of the passwd file at `path` whose user number is `uid`; null when none is.
passwd* userFromFile(const char* path, uid_t uid);

// The first entry of the group file at `path` whose group number is `gid`; null when none is,
// or with errno ENOMEM when its members do not fit in memory.
group* groupFromFile(const char* path, gid_t gid);

// The first line of the hosts file at `path` with an IPv4 address and `name` among its names
// (in any case); null when none is, with h_errno NETDB_INTERNAL when out of memory.
hostent* hostFromFile(const char* path, const char* name);

// The IPv4 addresses in a DNS answer of `length` bytes to a question for A records, named as
// the first one's owner; null with h_errno NO_DATA when it holds none, or is malformed.
hostent* hostFromDnsAnswer(const unsigned char* answer, int length);

}  // namespace tavmor
