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

}  // namespace tavmor::rexxapi
