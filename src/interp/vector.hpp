#pragma once
// Function vectors whose every slot traps: a call that the interface does not offer names its
// slot on stderr and ends the process, instead of jumping into the unknown.

#include <array>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "interp/interface.hpp"

namespace tavmor::rexxapi {

inline constexpr int kTrapExitStatus = 70;

[[noreturn]] inline void trapSlot(const char* vector, std::size_t offset) {
  std::fprintf(stderr,
               "ERROR: Rexx interpreter: unsupported operation at offset 0x%zx of the %s vector\n",
               offset, vector);
  std::fflush(stderr);
  std::_Exit(kTrapExitStatus);
}

template <const char* Vector, std::size_t Slot>
void trapEntry() {
  trapSlot(Vector, Slot * kSlotSize);
}

template <const char* Vector, std::size_t... Slots>
constexpr std::array<AnyFunction, sizeof...(Slots)> makeTrapVector(std::index_sequence<Slots...>) {
  return {&trapEntry<Vector, Slots>...};
}

inline constexpr char kInstanceVectorName[] = "instance";
inline constexpr char kThreadVectorName[] = "thread-context";

// A vector of N trapping slots; the caller overwrites the slots it implements.
template <const char* Vector, std::size_t N>
constexpr std::array<AnyFunction, N> trapVector() {
  return makeTrapVector<Vector>(std::make_index_sequence<N>{});
}

template <typename Function>
AnyFunction slotFunction(Function function) {
  return reinterpret_cast<AnyFunction>(function);
}

using InstanceVector = std::array<AnyFunction, kInstanceVectorSlots>;
using ThreadVector = std::array<AnyFunction, kThreadVectorSlots>;

// The instance vector: terminate, and traps everywhere else.
inline InstanceVector makeInstanceVector(TerminateFunction terminate) {
  auto vector = trapVector<kInstanceVectorName, kInstanceVectorSlots>();
  vector[kTerminateOffset / kSlotSize] = slotFunction(terminate);
  return vector;
}

// The thread-context vector: the four operations the launcher calls, and traps everywhere else.
inline ThreadVector makeThreadVector(NewArrayFunction newArray, NewStringFunction newString,
                                     ArrayPutFunction arrayPut, CallProgramFunction callProgram) {
  auto vector = trapVector<kThreadVectorName, kThreadVectorSlots>();
  vector[kNewArrayOffset / kSlotSize] = slotFunction(newArray);
  vector[kNewStringOffset / kSlotSize] = slotFunction(newString);
  vector[kArrayPutOffset / kSlotSize] = slotFunction(arrayPut);
  vector[kCallProgramOffset / kSlotSize] = slotFunction(callProgram);
  return vector;
}

}  // namespace tavmor::rexxapi
