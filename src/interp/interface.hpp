#pragma once
// The binary interface of the Rexx interpreter library, as the launcher uses it.
//
// The creation entry (ordinal 125 of rexx.dll) fills in an instance handle and a thread-context
// handle. Each handle points at an object that holds a pointer to its function vector: the
// instance in its first pointer-sized field, the thread context in its second. Every operation
// takes the owning handle as its first argument.

#include <cstddef>

extern "C" {

// Returns a success flag, which the launcher does not rely on: it checks the handles instead.
std::size_t RexxCreateInterpreter(void** instance, void** threadContext, void* options);

}  // extern "C"

namespace tavmor::rexxapi {

using AnyFunction = void (*)();

// Byte offsets of the operations in their function vectors.
inline constexpr std::size_t kTerminateOffset = 0x8;     // instance vector
inline constexpr std::size_t kCallProgramOffset = 0xe0;  // thread-context vector
inline constexpr std::size_t kNewStringOffset = 0x210;   // thread-context vector
inline constexpr std::size_t kArrayPutOffset = 0x280;    // thread-context vector
inline constexpr std::size_t kNewArrayOffset = 0x2b0;    // thread-context vector

using TerminateFunction = void (*)(void* instance);
using CallProgramFunction = void* (*)(void* threadContext, const char* program, void* arguments);
using NewStringFunction = void* (*)(void* threadContext, const char* text);
using ArrayPutFunction = void (*)(void* threadContext, void* array, void* item, std::size_t index);
using NewArrayFunction = void* (*)(void* threadContext, std::size_t size);

// The objects the handles point at, as a library lays them out.
struct InstanceObject {
  const AnyFunction* functions;
  void* state;
};
struct ThreadContextObject {
  void* instance;
  const AnyFunction* functions;
};

inline constexpr std::size_t kSlotSize = sizeof(void*);
inline constexpr std::size_t kInstanceVectorSlots = 16;
inline constexpr std::size_t kThreadVectorSlots = 128;

}  // namespace tavmor::rexxapi
