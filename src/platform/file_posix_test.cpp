#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file.hpp"
#include "platform/replace.hpp"
#include "platform/replace_steps_posix.hpp"
#include "support/test_support.hpp"

namespace tavmor {
namespace {

using test::TempDir;

std::string bytesOf(const FileImage& image) {
  return std::string(reinterpret_cast<const char*>(image.bytes.get()), image.size);
}

TEST(MapWholeFile, GivesTheFilesBytesAsReadingDoes) {
  TempDir dir;
  for (const std::size_t size : {0, 1, 4095, 4096, 4097, 100000}) {
    std::string content(size, '\0');
    for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>(i * 7 + size);
    // Not "f" + to_string: GCC 12 at -O3 warns of an overlapping copy there (-Wrestrict).
    const std::string path = dir / std::string("f").append(std::to_string(size));
    test::writeFile(path, content);
    // More images at a time than are mapped: the rest are read, with the same bytes.
    std::vector<Result<FileImage>> images;
    for (int i = 0; i < 6; ++i) images.push_back(mapWholeFile(path));
    for (const Result<FileImage>& image : images) {
      ASSERT_TRUE(image.ok()) << size << ": " << image.status().message();
      EXPECT_EQ(bytesOf(*image), content) << size;
      EXPECT_TRUE(imageIntact(*image));
    }
  }
}

TEST(ReadWholeFile, RefusesWhatIsNoRegularFileAndNamesTheCause) {
  TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);  // nobody writes: a blocking open hangs
  struct Case {
    std::string path;
    std::string message;
  };
  const Case cases[] = {
      {dir.path(), dir.path() + ": cannot open: is a directory"},
      {dir / "fifo", dir / "fifo: cannot open: not a regular file"},
      {dir / "missing", dir / "missing: cannot open: No such file or directory"},
  };
  for (const Case& c : cases) {
    const Result<FileImage> reads[] = {readWholeFile(c.path), mapWholeFile(c.path)};
    for (const Result<FileImage>& read : reads) {
      EXPECT_EQ(read.status().code(), Status::Code::kCannotOpen) << c.path;
      EXPECT_EQ(read.status().message(), c.message);
    }
  }
}

TEST(ReadWholeFileDeathTest, AFailingFstatIsAReadFailureWithItsCause) {
  TempDir dir;
  const std::string path = dir / "file";
  test::writeFile(path, "content");
  EXPECT_EXIT(
      {
        test::failSystemCalls({SYS_fstat, SYS_newfstatat, SYS_statx}, EIO);
        const Result<FileImage> read = readWholeFile(path);
        std::fprintf(stderr, "%s\n", read.status().message().c_str());
        std::_Exit(read.status().code() == Status::Code::kCannotRead ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "^" + path + ": cannot read: Input/output error\n$");
}

TEST(MapWholeFileDeathTest, PagesThatCannotBeReadReadAsZerosAndOtherBusErrorsEndTheProcess) {
  TempDir dir;
  const std::string path = dir / "shrinking";
  test::writeFile(path, std::string(3 * 4096, 'x'));
  EXPECT_EXIT(
      {
        // Twice, with the image of the first gone before the second is made: the guard holds
        // for every mapping, however many came and went.
        for (int round = 0; round < 2; ++round) {
          test::writeFile(path, std::string(3 * 4096, 'x'));
          Result<FileImage> mapped = mapWholeFile(path);
          if (!mapped.ok() || !imageIntact(*mapped)) std::_Exit(2);
          if (::truncate(path.c_str(), 4096) != 0) std::_Exit(3);
          const volatile unsigned char* bytes = mapped->bytes.get();
          if (bytes[0] != 'x' || bytes[2 * 4096] != 0 || imageIntact(*mapped)) std::_Exit(4);
        }
        std::fputs("both shrinking files read as zeros\n", stderr);
        std::raise(SIGBUS);  // no mapping's fault
        std::_Exit(5);
      },
      ::testing::KilledBySignal(SIGBUS), "both shrinking files read as zeros");
}

TEST(ReplaceFileAtomicallyDeathTest, GivesTheModeTheUmaskLeavesWithoutAskingForTheUmask) {
  TempDir dir;
  const std::string path = dir / "out";
  // The umask belongs to the process, shared by its threads: asking for it means changing it
  // for them all, so each case forbids the system call.
  struct Case {
    mode_t umask;
    FileMode mode;
    mode_t expected;
  };
  const Case cases[] = {
      {022, FileMode::kExecutable, 0755}, {027, FileMode::kExecutable, 0750},
      {077, FileMode::kExecutable, 0700}, {0777, FileMode::kExecutable, 0},
      {022, FileMode::kOwnerOnly, 0600},  {0777, FileMode::kOwnerOnly, 0600},
  };
  for (const Case& c : cases) {
    EXPECT_EXIT(
        {
          ::umask(c.umask);
          test::failSystemCalls({SYS_umask}, EPERM);
          const auto* data = reinterpret_cast<const unsigned char*>("#!");
          const Status written = replaceFileAtomically(path, data, 2, c.mode, nullptr);
          std::fprintf(stderr, "%s\n", written.message().c_str());
          std::_Exit(written.ok() && (test::statOf(path).st_mode & 0777) == c.expected ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "")
        << std::oct << c.umask;
  }
}

TEST(MoveOnto, ReplacesWhatIsThereWithOrWithoutExchangeAndNeverADirectory) {
  // A file system without RENAME_EXCHANGE (before Linux 3.15, or one that does not offer it).
  const ExchangeFunction cannotExchange = [](const std::string&, const std::string&) {
    return false;
  };
  for (const ExchangeFunction exchange : {&exchangeFiles, cannotExchange}) {
    TempDir dir;
    const std::string temp = dir / ".new";
    const std::string path = dir / "out";
    const std::string target = dir / "target";
    test::writeFile(target, "kept");
    // Nothing at path, a file, and a link (which goes; the file it names stays).
    for (const char* before : {"nothing", "file", "link"}) {
      if (std::string(before) == "file") test::writeFile(path, "old");
      if (std::string(before) == "link") {
        ::unlink(path.c_str());
        ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
      }
      test::writeFile(temp, before);
      const Status moved = moveOnto(temp, path, exchange);
      ASSERT_TRUE(moved.ok()) << before << ": " << moved.message();
      EXPECT_EQ(test::readFile(path), before);
      EXPECT_FALSE(test::exists(temp)) << before;
    }
    EXPECT_EQ(test::readFile(target), "kept");

    const std::string directory = dir / "directory";
    ASSERT_EQ(::mkdir(directory.c_str(), 0700), 0);
    test::writeFile(directory + "/inside", "kept");
    test::writeFile(temp, "new");
    EXPECT_EQ(moveOnto(temp, directory, exchange).reason(), std::strerror(EISDIR));
    EXPECT_EQ(test::readFile(directory + "/inside"), "kept");
    EXPECT_EQ(test::readFile(temp), "new");
  }
}

}  // namespace
}  // namespace tavmor
