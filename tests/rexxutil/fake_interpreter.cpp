#include "rexxutil/fake_interpreter.hpp"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace tavmor::test {
namespace {

char* copyOf(const std::string& text, RXSTRING& into) {
  into.strptr = static_cast<char*>(std::malloc(text.size() + 1));
  std::memcpy(into.strptr, text.c_str(), text.size() + 1);
  into.strlength = text.size();
  return into.strptr;
}

}  // namespace

std::map<std::string, std::string>& variables() {
  static std::map<std::string, std::string> pool;
  return pool;
}

std::optional<std::string> call(rexxutil::Function* function,
                                const std::vector<std::optional<std::string>>& args) {
  std::vector<RXSTRING> argv(args.size());
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i]) {
      argv[i].strptr = const_cast<char*>(args[i]->data());
      argv[i].strlength = args[i]->size();
    }
  }
  char buffer[RXAUTOBUFLEN];
  RXSTRING result{sizeof buffer, buffer};
  const APIRET status =
      function("F", static_cast<ULONG>(argv.size()), argv.data(), nullptr, &result);
  std::optional<std::string> answer;
  if (status == 0) answer.emplace(result.strptr, result.strlength);
  if (result.strptr != buffer) std::free(result.strptr);
  return answer;
}

std::optional<std::string> callWithFileSizeLimit(
    std::size_t limit, rexxutil::Function* function,
    const std::vector<std::optional<std::string>>& args) {
  int fds[2];
  if (::pipe(fds) != 0) return "crashed";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    const rlimit size{limit, limit};
    ::setrlimit(RLIMIT_FSIZE, &size);
    const std::optional<std::string> answer = call(function, args);
    // The first byte says whether there is an answer.
    const std::string report = answer ? "+" + *answer : "-";
    ::_exit(::write(fds[1], report.data(), report.size()) == static_cast<ssize_t>(report.size())
                ? 0
                : 1);
  }
  ::close(fds[1]);
  std::string report;
  char buffer[256];
  for (ssize_t got; (got = ::read(fds[0], buffer, sizeof buffer)) > 0;) report.append(buffer, got);
  ::close(fds[0]);
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0 || report.empty()) {
    return "crashed";
  }
  if (report[0] == '-') return std::nullopt;
  return report.substr(1);
}

}  // namespace tavmor::test

extern "C" {

PVOID APIENTRY RexxAllocateMemory(ULONG size) { return std::malloc(size); }

APIRET APIENTRY RexxFreeMemory(PVOID memory) {
  std::free(memory);
  return 0;
}

APIRET APIENTRY RexxVariablePool(PSHVBLOCK block) {
  auto& pool = tavmor::test::variables();
  // The name NEXTV gave last; none at the start of a walk.
  static std::optional<std::string> walked;
  const std::string name = block->shvname.strptr == nullptr
                               ? std::string()
                               : std::string(block->shvname.strptr, block->shvname.strlength);
  block->shvret = RXSHV_OK;
  switch (block->shvcode) {
    case RXSHV_SET:
      if (!pool.contains(name)) block->shvret = RXSHV_NEWV;
      pool[name].assign(block->shvvalue.strptr, block->shvvalue.strlength);
      break;
    case RXSHV_FETCH: {
      const auto found = pool.find(name);
      if (found == pool.end()) {
        block->shvret = RXSHV_NEWV;
      } else {
        tavmor::test::copyOf(found->second, block->shvvalue);
      }
      break;
    }
    case RXSHV_DROPV:
      // A stem's name drops the stem.
      std::erase_if(pool, [&](const auto& v) {
        return name.ends_with('.') ? v.first.starts_with(name) : v.first == name;
      });
      break;
    case RXSHV_NEXTV: {
      const auto next = walked ? pool.upper_bound(*walked) : pool.begin();
      if (next == pool.end()) {
        walked.reset();
        block->shvret = RXSHV_LVAR;
      } else {
        tavmor::test::copyOf(next->first, block->shvname);
        tavmor::test::copyOf(next->second, block->shvvalue);
        walked = next->first;
      }
      break;
    }
    default:
      block->shvret = RXSHV_BADF;
  }
  return block->shvret;
}

}  // extern "C"
