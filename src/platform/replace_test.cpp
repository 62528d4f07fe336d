#include "platform/replace.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "platform/replace_steps.hpp"

namespace tavmor {
namespace {

// Files in memory, with a log of the steps taken, that fail at the step named `failAt`.
struct FakeSteps final : ReplaceSteps {
  std::map<std::string, std::string> files;
  std::vector<std::string> log;
  std::string failAt;
  std::vector<std::string> openFiles;

  Status step(const std::string& name) {
    log.push_back(name);
    if (name != failAt) return Status::success();
    return stepFailure(name == "write" ? Status::Code::kCannotWrite : Status::Code::kFailed,
                       name + " refused");
  }

  struct File final : NewFile {
    FakeSteps& fs;
    std::string name;
    File(FakeSteps& steps, std::string path) : fs(steps), name(std::move(path)) {
      fs.openFiles.push_back(name);
    }
    ~File() override { std::erase(fs.openFiles, name); }
    const std::string& path() const override { return name; }
    Status write(const unsigned char* data, std::uint64_t size) override {
      const Status s = fs.step("write");
      if (s.ok()) fs.files[name].append(reinterpret_cast<const char*>(data), size);
      return s;
    }
    Status sync() override { return fs.step("sync"); }
    Status setFinalMode(FileMode) override { return fs.step("mode"); }
    Status close() override {
      std::erase(fs.openFiles, name);
      return fs.step("close");
    }
  };

  Result<std::unique_ptr<NewFile>> createBeside(const std::string& path, FileMode) override {
    if (const Status s = step("create"); !s.ok()) return s;
    files[path + ".tmp"];
    return std::unique_ptr<NewFile>(std::make_unique<File>(*this, path + ".tmp"));
  }
  Status moveOnto(const std::string& temp, const std::string& path, Durability) override {
    EXPECT_TRUE(openFiles.empty()) << "moved while open";
    if (const Status s = step("move"); !s.ok()) return s;
    files[path] = files[temp];
    files.erase(temp);
    return Status::success();
  }
  void remove(const std::string& path) override {
    EXPECT_TRUE(openFiles.empty()) << "removed while open";
    log.push_back("remove");
    files.erase(path);
  }
  void syncFolderOf(const std::string&) override { log.push_back("sync folder"); }
};

TEST(ReplaceFileAtomically, KeepsTheOldFileAndLeavesNothingBehindWhicheverStepFails) {
  const std::string text = "new";
  const ContentSource inTwoPieces = [&](const ChunkWriter& write) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    if (write(bytes, 1)) write(bytes + 1, 2);
    return Status::success();
  };
  struct Case {
    std::string failAt;
    Status::Code code;
    std::string message;
  };
  const Case cases[] = {
      {"create", Status::Code::kFailed, "cannot create a temporary file beside it: create refused"},
      {"write", Status::Code::kCannotWrite, "cannot write out.tmp: write refused"},
      {"sync", Status::Code::kCannotWrite, "cannot write out.tmp: sync refused"},
      {"check", Status::Code::kFailed, "the written file did not check out: check refused"},
      {"mode", Status::Code::kCannotWrite, "cannot set the mode of out.tmp: mode refused"},
      {"close", Status::Code::kCannotWrite, "cannot write out.tmp: close refused"},
      {"move", Status::Code::kFailed, "cannot replace it: move refused"},
      {"content", Status::Code::kNoMemory, "content refused"},
  };
  for (const Case& c : cases) {
    FakeSteps steps;
    steps.files["out"] = "old";
    steps.failAt = c.failAt;
    const ContentSource content = [&](const ChunkWriter& write) {
      const Status produced = inTwoPieces(write);
      return c.failAt == "content" ? Status::failure(c.code, "content refused") : produced;
    };
    const auto failingCheck = [&](const std::string& temp) {
      EXPECT_EQ(steps.files[temp], "new");
      return c.failAt == "check" ? Status::failure("check refused") : Status::success();
    };
    const Status replaced = replaceFileAtomically("out", content, FileMode::kExecutable,
                                                  failingCheck, Durability::kDurable, steps);
    EXPECT_EQ(replaced.code(), c.code) << c.failAt;
    EXPECT_EQ(replaced.message(), c.message);
    EXPECT_EQ(steps.files, (std::map<std::string, std::string>{{"out", "old"}})) << c.failAt;
    EXPECT_TRUE(steps.openFiles.empty()) << c.failAt;
    // A write that failed is not tried again.
    EXPECT_LE(std::count(steps.log.begin(), steps.log.end(), "write"), c.failAt == "write" ? 1 : 2);
  }
}

TEST(ReplaceFileAtomically, SyncsOnlyWhatMustSurviveACrash) {
  const auto* bytes = reinterpret_cast<const unsigned char*>("new");
  for (const Durability durability : {Durability::kDurable, Durability::kScratch}) {
    FakeSteps steps;
    steps.files["out"] = "old";
    const Status replaced = replaceFileAtomically(
        "out", [&](const ChunkWriter& write) { return write(bytes, 3), Status::success(); },
        FileMode::kOwnerOnly, nullptr, durability, steps);
    ASSERT_TRUE(replaced.ok()) << replaced.message();
    EXPECT_EQ(steps.files, (std::map<std::string, std::string>{{"out", "new"}}));
    const std::vector<std::string> durable = {"create", "write", "sync",       "mode",
                                              "close",  "move",  "sync folder"};
    const std::vector<std::string> scratch = {"create", "write", "mode", "close", "move"};
    EXPECT_EQ(steps.log, durability == Durability::kDurable ? durable : scratch);
  }
}

}  // namespace
}  // namespace tavmor
