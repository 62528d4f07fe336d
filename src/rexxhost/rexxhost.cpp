// The interpreter library for POSIX: the interface of rexx.dll, run by Regina REXX.
#include <rexxsaa.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "interp/interface.hpp"
#include "rexxhost/vector.hpp"

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

InstanceState& stateOf(void* threadContext) {
  auto* instance =
      static_cast<InstanceObject*>(static_cast<ThreadContextObject*>(threadContext)->instance);
  return *static_cast<InstanceState*>(instance->state);
}

void* newArray(void* threadContext, std::size_t size) {
  auto& state = stateOf(threadContext);
  state.arrays.push_back(std::make_unique<ArrayObject>());
  state.arrays.back()->items.reserve(size);
  return state.arrays.back().get();
}

void* newString(void* threadContext, const char* text) {
  auto& state = stateOf(threadContext);
  state.strings.push_back(std::make_unique<StringObject>(StringObject{text}));
  return state.strings.back().get();
}

void arrayPut(void*, void* array, void* item, std::size_t index) {
  if (index == 0) return;  // arrays are 1-based; there is no item 0
  auto& items = static_cast<ArrayObject*>(array)->items;
  if (items.size() < index) items.resize(index, nullptr);
  items[index - 1] = static_cast<StringObject*>(item);
}

void* callProgram(void*, const char* program, void* arguments) {
  const auto& items = static_cast<ArrayObject*>(arguments)->items;
  if (items.size() > LONG_MAX) return nullptr;
  std::vector<RXSTRING> args(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    // An empty slot is an omitted argument: a null string pointer.
    if (items[i] != nullptr) {
      MAKERXSTRING(args[i], items[i]->text.data(), items[i]->text.size());
    } else {
      MAKERXSTRING(args[i], nullptr, 0);
    }
  }
  SHORT returnCode = 0;
  RXSTRING result;
  MAKERXSTRING(result, nullptr, 0);
  // Called as a subroutine, so that each argument stays separate: arg() is their count.
  RexxStart(static_cast<LONG>(args.size()), args.data(), program, nullptr, nullptr, RXSUBROUTINE,
            nullptr, &returnCode, &result);
  if (result.strptr != nullptr) RexxFreeMemory(result.strptr);
  return nullptr;
}

void terminate(void* instanceHandle) {
  auto* instance = static_cast<InstanceObject*>(instanceHandle);
  delete static_cast<InstanceState*>(instance->state);
  delete instance;
  ReginaCleanup();
}

const InstanceVector kInstanceVector = makeInstanceVector(&terminate);
const ThreadVector kThreadVector = makeThreadVector(&newArray, &newString, &arrayPut, &callProgram);

}  // namespace
}  // namespace tavmor::rexxapi

using namespace tavmor::rexxapi;

// Regina reads a program file with getc, a byte at a time. Once the process has a second thread,
// as the launcher has its removal thread, glibc's getc takes the stream's lock for every byte:
// a 64 MiB script ran four times as long as under regina itself. Regina runs on the launcher's
// initial thread alone, and the removal thread touches no stream, so the lock guards nothing;
// this definition takes the place of the C library's for the interpreter's calls.
extern "C" int getc(std::FILE* stream) { return getc_unlocked(stream); }

extern "C" std::size_t RexxCreateInterpreter(void** instanceOut, void** threadOut, void*) {
  auto* state = new (std::nothrow) InstanceState;
  auto* instance = new (std::nothrow) InstanceObject{kInstanceVector.data(), state};
  if (state == nullptr || instance == nullptr) {
    delete state;
    delete instance;
    return 0;
  }
  state->thread = ThreadContextObject{instance, kThreadVector.data()};
  *instanceOut = instance;
  *threadOut = &state->thread;
  return 1;
}
