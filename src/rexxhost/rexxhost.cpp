// The interpreter library for POSIX: the interface of rexx.dll, run by Regina REXX.
#include <rexxsaa.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "interp/instance.hpp"
#include "interp/interface.hpp"
#include "interp/vector.hpp"
#include "platform/file.hpp"
#include "rexxhost/source.hpp"
#include "rexxhost/start.hpp"
#include "util/escape.hpp"

namespace tavmor::rexxapi {
namespace {

struct StringObject {
  std::string text;
};
struct ArrayObject {
  std::vector<StringObject*> items;  // index 0 holds item 1
};

// Everything an instance hands out lives until the instance is terminated.
struct InstanceState {
  ThreadContextObject thread{};
  std::vector<std::unique_ptr<StringObject>> strings;
  std::vector<std::unique_ptr<ArrayObject>> arrays;
};

void* newArray(void* threadContext, std::size_t size) {
  auto& state = stateOf<InstanceState>(threadContext);
  state.arrays.push_back(std::make_unique<ArrayObject>());
  state.arrays.back()->items.reserve(size);
  return state.arrays.back().get();
}

void* newString(void* threadContext, const char* text) {
  auto& state = stateOf<InstanceState>(threadContext);
  state.strings.push_back(std::make_unique<StringObject>(StringObject{text}));
  return state.strings.back().get();
}

void arrayPut(void*, void* array, void* item, std::size_t index) {
  if (index == 0) return;  // arrays are 1-based; there is no item 0
  auto& items = static_cast<ArrayObject*>(array)->items;
  if (items.size() < index) items.resize(index, nullptr);
  items[index - 1] = static_cast<StringObject*>(item);
}

// A program that never started, or was stopped, must not look like one that ran: the caller's
// status 0 means that the script ran, and the interface gives back no failure. So a refusal ends
// the process with one line and the launcher's failure status, and without Regina's cleanup,
// which a stopped run may have left in no state to run. The program is the launcher's staged copy
// of its script, which the launcher's removal thread would take away only seconds later: it goes at
// once.
[[noreturn]] void refuse(const std::string& reason, const char* program) {
  std::remove(program);
  std::fflush(stdout);
  std::fputs("ERROR: ", stderr);
  writeEscaped(stderr, reason);  // a name from TMPDIR may hold a line break
  std::fputc('\n', stderr);
  std::fflush(stderr);
  std::_Exit(-1);
}

void* callProgram(void*, const char* program, void* arguments) {
  try {
    // Read once, here, and handed to Regina as text: Regina, given the name, would open it again,
    // and when the file were gone by then, run whatever file of the same name with .rexx, .rex,
    // .cmd or .rx appended it found beside it.
    const Result<FileImage> read = readWholeFile(program);
    if (!read.ok()) {
      if (read.status().code() == Status::Code::kNoMemory) {
        refuse(std::string("Not enough memory to read the Rexx script ") + program, program);
      }
      refuse(std::string("Cannot read the Rexx script ") + program + ": " + read.status().reason(),
             program);
    }
    const auto* bytes = reinterpret_cast<const char*>(read->bytes.get());
    const auto size = static_cast<std::size_t>(read->size);
    if (const auto line = lineOfFirstNul(bytes, size)) {
      refuse(std::string("The Rexx script ") + program + " holds a NUL byte on line " +
                 std::to_string(*line) + ", which Regina cannot run.",
             program);
    }
    if (holdsNoClause(bytes, size)) return nullptr;  // nothing to run: it has run

    std::vector<const std::string*> texts;
    for (const StringObject* item : static_cast<ArrayObject*>(arguments)->items) {
      texts.push_back(item != nullptr ? &item->text : nullptr);
    }
    const Status started = startProgram(program, std::string_view(bytes, size), texts);
    if (!started.ok()) refuse(started.message(), program);
  } catch (const std::bad_alloc&) {
    refuse(std::string("Not enough memory to start the Rexx script ") + program, program);
  }
  return nullptr;
}

void terminate(void* instanceHandle) {
  destroyInstance<InstanceState>(instanceHandle);
  ReginaCleanup();
}

const InstanceVector kInstanceVector = makeInstanceVector(&terminate);
const ThreadVector kThreadVector = makeThreadVector(&newArray, &newString, &arrayPut, &callProgram);

}  // namespace
}  // namespace tavmor::rexxapi

using namespace tavmor::rexxapi;

extern "C" std::size_t RexxCreateInterpreter(void** instanceOut, void** threadOut, void*) {
  return createInstance<InstanceState>(instanceOut, threadOut, kInstanceVector.data(),
                                       kThreadVector.data());
}
