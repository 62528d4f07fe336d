// The interpreter library for POSIX: the interface of rexx.dll, run by Regina REXX.
#include <rexxsaa.h>

#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "interp/instance.hpp"
#include "interp/interface.hpp"
#include "interp/interp.hpp"
#include "interp/vector.hpp"
#include "platform/file.hpp"
#include "rexxhost/source.hpp"
#include "rexxhost/start.hpp"

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
  bool refused = false;  // a program that never started or was stopped (see callProgram)
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

// Runs the program file `program` with the items of `arguments`; a failure when it never started
// or was stopped.
Status runProgram(const char* program, const ArrayObject& arguments) {
  // Read once, here, and handed to Regina as text: Regina, given the name, would open it again,
  // and when the file were gone by then, run whatever file of the same name with .rexx, .rex,
  // .cmd or .rx appended it found beside it.
  const Result<FileImage> read = readWholeFile(program);
  if (!read.ok()) {
    if (read.status().code() == Status::Code::kNoMemory) {
      return Status::failure(std::string("Not enough memory to read the Rexx script ") + program);
    }
    return Status::failure(std::string("Cannot read the Rexx script ") + program + ": " +
                           read.status().reason());
  }
  const auto* bytes = reinterpret_cast<const char*>(read->bytes.get());
  const auto size = static_cast<std::size_t>(read->size);
  if (const auto line = lineOfFirstNul(bytes, size)) {
    return Status::failure(std::string("The Rexx script ") + program +
                           " holds a NUL byte on line " + std::to_string(*line) +
                           ", which Regina cannot run.");
  }
  if (holdsNoClause(bytes, size)) return Status::success();  // nothing to run: it has run

  std::vector<const std::string*> texts;
  for (const StringObject* item : arguments.items) {
    texts.push_back(item != nullptr ? &item->text : nullptr);
  }
  return startProgram(program, std::string_view(bytes, size), texts);
}

// A program that never started, or was stopped, must not look like one that ran: the interface
// gives back no failure, so it goes to the launcher by refuseProgram. Regina's cleanup is left
// out when the instance ends, since a stopped run may have left Regina in no state to run it.
void* callProgram(void* threadContext, const char* program, void* arguments) {
  auto& state = stateOf<InstanceState>(threadContext);
  Status ran = Status::success();
  try {
    ran = runProgram(program, *static_cast<ArrayObject*>(arguments));
  } catch (const std::bad_alloc&) {
    ran = Status::failure(std::string("Not enough memory to start the Rexx script ") + program);
  }
  if (!ran.ok()) {
    state.refused = true;
    refuseProgram(std::move(ran));
  }
  return nullptr;
}

void terminate(void* instanceHandle) {
  const bool refused =
      static_cast<InstanceState*>(static_cast<InstanceObject*>(instanceHandle)->state)->refused;
  destroyInstance<InstanceState>(instanceHandle);
  if (!refused) ReginaCleanup();
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
