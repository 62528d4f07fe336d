// A stand-in for the Rexx interpreter library, for tests only: it offers the interface the
// launcher uses and records every call it receives, one line each, in the file named by
// TAVMOR_STANDIN_LOG:
//   create
//   newArray <size> <array>
//   newString <text as hex> <string>
//   put <array> <item> <index>
//   call <program path as hex> <array>
//   program <the program file's bytes as hex, read at call time> | program unreadable
//   terminate
// TAVMOR_STANDIN_WAIT_FOR_REMOVAL_MS makes "call a program file" wait, after reading the file,
// until the file is gone, looking every 20 ms, at most that long; TAVMOR_STANDIN_NO_INSTANCE=1
// makes creation fail.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "interp/instance.hpp"
#include "interp/interface.hpp"
#include "interp/vector.hpp"
#include "platform/file.hpp"
#include "util/hex.hpp"

namespace tavmor::rexxapi {
namespace {

struct State {
  ThreadContextObject thread{};
  std::vector<std::unique_ptr<int>> objects;  // handles: addresses of numbered objects
};

// Bytes in the log: their hex digits, "-" when there are none.
std::string hex(const unsigned char* data, std::size_t size) {
  return size == 0 ? "-" : toHex(data, size);
}

std::string hex(const char* text) {
  return hex(reinterpret_cast<const unsigned char*>(text), std::char_traits<char>::length(text));
}

void record(const std::string& line) {
  const char* log = std::getenv("TAVMOR_STANDIN_LOG");
  if (log == nullptr) return;
  if (std::FILE* f = std::fopen(log, "ab")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

std::string handleName(char kind, void* handle) {
  return kind + std::to_string(*static_cast<int*>(handle));
}

void* newObject(void* threadContext) {
  auto& state = stateOf<State>(threadContext);
  state.objects.push_back(std::make_unique<int>(static_cast<int>(state.objects.size()) + 1));
  return state.objects.back().get();
}

void* newArray(void* threadContext, std::size_t size) {
  void* array = newObject(threadContext);
  record("newArray " + std::to_string(size) + " " + handleName('A', array));
  return array;
}

void* newString(void* threadContext, const char* text) {
  void* string = newObject(threadContext);
  record("newString " + hex(text) + " " + handleName('S', string));
  return string;
}

void arrayPut(void*, void* array, void* item, std::size_t index) {
  record("put " + handleName('A', array) + " " + handleName('S', item) + " " +
         std::to_string(index));
}

void* callProgram(void*, const char* program, void* arguments) {
  record("call " + hex(program) + " " + handleName('A', arguments));
  const Result<FileImage> file = readWholeFile(program);
  record(file.ok() ? "program " + hex(file->bytes.get(), static_cast<std::size_t>(file->size))
                   : std::string("program unreadable"));
  if (const char* wait = std::getenv("TAVMOR_STANDIN_WAIT_FOR_REMOVAL_MS")) {
    constexpr std::chrono::milliseconds kStep(20);
    for (long waited = 0; waited < std::atol(wait) && readWholeFile(program).ok();
         waited += kStep.count()) {
      std::this_thread::sleep_for(kStep);
    }
  }
  return nullptr;
}

void terminate(void* instanceHandle) {
  record("terminate");
  destroyInstance<State>(instanceHandle);
}

const InstanceVector kInstanceVector = makeInstanceVector(&terminate);
const ThreadVector kThreadVector = makeThreadVector(&newArray, &newString, &arrayPut, &callProgram);

}  // namespace
}  // namespace tavmor::rexxapi

using namespace tavmor::rexxapi;

extern "C" std::size_t RexxCreateInterpreter(void** instanceOut, void** threadOut, void*) {
  record("create");
  const char* noInstance = std::getenv("TAVMOR_STANDIN_NO_INSTANCE");
  if (noInstance != nullptr && std::string(noInstance) == "1") return 0;
  return createInstance<State>(instanceOut, threadOut, kInstanceVector.data(),
                               kThreadVector.data());
}
