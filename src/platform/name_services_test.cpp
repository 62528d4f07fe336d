// Users, groups and hosts read as the C library's name-service switch reads them from files.
#include "platform/name_services.hpp"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/test_support.hpp"

namespace tavmor {
namespace {

using test::TempDir;

// Lines the C library skips or takes, in passwd and group files alike.
constexpr char kPasswd[] =
    "# comment\n"
    "\n"
    "   root:x:0:0:root:/root:/bin/bash\n"
    "short:x:1:1\n"
    "letters:x:2a:2:::\n"
    "empty:x::3:::\n"
    "nogroup:x:4::::\n"
    "first:x:5:5:First:/home/first:/bin/sh\n"
    "second:x:5:6:Second:/home/second:/bin/sh\n"
    "colons:x:6:6:a:b:c:d\n"
    "big:x:4294967294:7:::\n"
    "huge:x:99999999999:7:::\n"
    "negative:x:-1:7:::\n"
    "spaced:x: 7:+7:::\n"
    "+nis:x::::\n"
    "trailing:x:9 :9:::\n"
    "last:x:8:8:::";
constexpr char kGroup[] =
    "# comment\n"
    "root:x:0:\n"
    "short:x:1\n"
    "wheel:x:10:alice,bob\n"
    "wheel2:x:10:carol\n"
    "odd:x:11:,alice,,bob,\n"
    "spaced:x:13: alice , bob\n"
    "+nis:x::\n"
    "last:x:12:dave";

using FileCloser = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

// What the C library's own parser takes from the file for `id`: the first entry with it.
std::optional<std::string> libraryUser(const std::string& path, uid_t id) {
  FileCloser file(std::fopen(path.c_str(), "r"), &std::fclose);
  while (const passwd* user = ::fgetpwent(file.get())) {
    if (user->pw_uid == id) {
      return std::string(user->pw_name) + "|" + user->pw_passwd + "|" +
             std::to_string(user->pw_gid) + "|" + user->pw_gecos + "|" + user->pw_dir + "|" +
             user->pw_shell;
    }
  }
  return std::nullopt;
}

std::optional<std::string> ourUser(const std::string& path, uid_t id) {
  const passwd* user = userFromFile(path.c_str(), id);
  if (user == nullptr) return std::nullopt;
  EXPECT_EQ(user->pw_uid, id);
  return std::string(user->pw_name) + "|" + user->pw_passwd + "|" + std::to_string(user->pw_gid) +
         "|" + user->pw_gecos + "|" + user->pw_dir + "|" + user->pw_shell;
}

std::string members(char** list) {
  std::string text;
  for (; *list != nullptr; ++list) text += std::string(*list) + ",";
  return text;
}

std::optional<std::string> libraryGroup(const std::string& path, gid_t id) {
  FileCloser file(std::fopen(path.c_str(), "r"), &std::fclose);
  while (const group* entry = ::fgetgrent(file.get())) {
    if (entry->gr_gid == id) {
      return std::string(entry->gr_name) + "|" + entry->gr_passwd + "|" + members(entry->gr_mem);
    }
  }
  return std::nullopt;
}

std::optional<std::string> ourGroup(const std::string& path, gid_t id) {
  const group* entry = groupFromFile(path.c_str(), id);
  if (entry == nullptr) return std::nullopt;
  EXPECT_EQ(entry->gr_gid, id);
  return std::string(entry->gr_name) + "|" + entry->gr_passwd + "|" + members(entry->gr_mem);
}

TEST(NameServices, UsersAndGroupsAreTheCLibrarysOwnParse) {
  TempDir dir;
  const std::string passwdPath = dir / "passwd", groupPath = dir / "group";
  test::writeFile(passwdPath, kPasswd);
  test::writeFile(groupPath, kGroup);
  for (const uid_t id : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 4294967294u, 4294967295u}) {
    EXPECT_EQ(ourUser(passwdPath, id), libraryUser(passwdPath, id)) << "user " << id;
  }
  for (const gid_t id : {0u, 1u, 10u, 11u, 12u, 13u, 14u}) {
    EXPECT_EQ(ourGroup(groupPath, id), libraryGroup(groupPath, id)) << "group " << id;
  }
  // This system's own files, as the C library answers from them.
  EXPECT_EQ(ourUser("/etc/passwd", ::getuid()), libraryUser("/etc/passwd", ::getuid()));
  EXPECT_EQ(ourGroup("/etc/group", ::getgid()), libraryGroup("/etc/group", ::getgid()));
  EXPECT_EQ(userFromFile((dir / "missing").c_str(), 0), nullptr);
}

TEST(NameServices, HostsFileGivesTheFirstLineThatNamesTheHost) {
  TempDir dir;
  const std::string path = dir / "hosts";
  test::writeFile(path,
                  "# comment 10.0.0.9 commented\n"
                  "127.0.0.1\tlocalhost\n"
                  "::1 localhost ip6-localhost\n"
                  "10.0.0.1 alpha.example alpha # 10.0.0.8 hidden\n"
                  "10.0.0.2   Beta.Example\tbeta  b\n"
                  "10.0.0.3 alpha\n"
                  "300.0.0.1 broken\n"
                  "10.0.0.4\n"
                  "10.0.0.5 last");
  struct Case {
    const char* name;
    const char* canonical;  // null: not found
    const char* address;
    const char* aliases;
  };
  const Case cases[] = {
      {"localhost", "localhost", "127.0.0.1", ""},
      {"ip6-localhost", nullptr, nullptr, nullptr},
      {"ALPHA", "alpha.example", "10.0.0.1", "alpha,"},
      {"b", "Beta.Example", "10.0.0.2", "beta,b,"},
      {"beta.example", "Beta.Example", "10.0.0.2", "beta,b,"},
      {"hidden", nullptr, nullptr, nullptr},
      {"commented", nullptr, nullptr, nullptr},
      {"broken", nullptr, nullptr, nullptr},
      {"last", "last", "10.0.0.5", ""},
      {"alp", nullptr, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    const hostent* host = hostFromFile(path.c_str(), c.name);
    if (c.canonical == nullptr) {
      EXPECT_EQ(host, nullptr) << c.name;
      EXPECT_EQ(h_errno, HOST_NOT_FOUND) << c.name;
      continue;
    }
    ASSERT_NE(host, nullptr) << c.name;
    EXPECT_STREQ(host->h_name, c.canonical);
    EXPECT_EQ(members(host->h_aliases), c.aliases) << c.name;
    ASSERT_EQ(host->h_length, 4);
    ASSERT_NE(host->h_addr_list[0], nullptr);
    EXPECT_STREQ(::inet_ntoa(*reinterpret_cast<in_addr*>(host->h_addr_list[0])), c.address);
    EXPECT_EQ(host->h_addr_list[1], nullptr);
  }
}

// An answer for www.example.com: a CNAME to example.com, then two A records, names compressed.
std::vector<unsigned char> dnsAnswer() {
  // clang-format off
  return {
      0x12, 0x34, 0x81, 0x80, 0, 1, 0, 4, 0, 0, 0, 0,                              // header
      3, 'w', 'w', 'w', 7, 'e', 'x', 'a', 'm', 'p', 'l', 'e', 3, 'c', 'o', 'm', 0,  // question
      0, 1, 0, 1,                                                                  // A, IN
      0xc0, 12, 0, 5, 0, 1, 0, 0, 0, 60, 0, 2, 0xc0, 16,     // www -> CNAME example.com
      0xc0, 16, 0, 1, 0, 1, 0, 0, 0, 60, 0, 4, 10, 0, 0, 1,  // example.com A 10.0.0.1
      0xc0, 16, 0, 28, 0, 1, 0, 0, 0, 60, 0, 4, 1, 2, 3, 4,  // an AAAA-typed record: skipped
      0xc0, 16, 0, 1, 0, 1, 0, 0, 0, 60, 0, 4, 10, 0, 0, 2,  // example.com A 10.0.0.2
  };
  // clang-format on
}

TEST(NameServices, DnsAnswerGivesItsAddressesAndNeverReadsPastItsEnd) {
  const std::vector<unsigned char> answer = dnsAnswer();
  const hostent* host = hostFromDnsAnswer(answer.data(), static_cast<int>(answer.size()));
  ASSERT_NE(host, nullptr);
  EXPECT_STREQ(host->h_name, "example.com");
  EXPECT_EQ(host->h_aliases[0], nullptr);
  ASSERT_NE(host->h_addr_list[0], nullptr);
  ASSERT_NE(host->h_addr_list[1], nullptr);
  EXPECT_EQ(host->h_addr_list[2], nullptr);
  EXPECT_STREQ(::inet_ntoa(*reinterpret_cast<in_addr*>(host->h_addr_list[1])), "10.0.0.2");
  // Cut anywhere, an answer gives the records that it holds whole, or nothing; each cut is
  // copied to storage of its own length, so that a read past it is caught by AddressSanitizer.
  for (std::size_t length = 0; length < answer.size(); ++length) {
    const std::unique_ptr<unsigned char[]> cut(new unsigned char[length]);
    std::copy(answer.begin(), answer.begin() + length, cut.get());
    const hostent* partial = hostFromDnsAnswer(cut.get(), static_cast<int>(length));
    const std::size_t whole = length >= 63 ? 1 : 0;
    if (whole == 0) {
      EXPECT_EQ(partial, nullptr) << length;
      EXPECT_EQ(h_errno, NO_DATA) << length;
    } else {
      ASSERT_NE(partial, nullptr) << length;
      EXPECT_EQ(partial->h_addr_list[whole], nullptr) << length;
    }
  }
}

}  // namespace
}  // namespace tavmor
