#pragma once
// The objects an interpreter library hands out as instance and thread-context handles, for the
// libraries that offer the interface (the interpreter library on Regina, the stand-in).

#include <new>

#include "interp/interface.hpp"

namespace tavmor::rexxapi {

// Makes an instance whose state is a new State (which holds the instance's ThreadContextObject
// as `thread`) and fills in both handles, as the creation entry does. False, with nothing made,
// when memory runs out.
template <typename State>
bool createInstance(void** instanceOut, void** threadOut, const AnyFunction* instanceVector,
                    const AnyFunction* threadVector) {
  auto* state = new (std::nothrow) State;
  auto* instance = new (std::nothrow) InstanceObject{instanceVector, state};
  if (state == nullptr || instance == nullptr) {
    delete state;
    delete instance;
    return false;
  }
  state->thread = ThreadContextObject{instance, threadVector};
  *instanceOut = instance;
  *threadOut = &state->thread;
  return true;
}

// The state of the instance that a thread-context handle belongs to.
template <typename State>
State& stateOf(void* threadContext) {
  auto* instance =
      static_cast<InstanceObject*>(static_cast<ThreadContextObject*>(threadContext)->instance);
  return *static_cast<State*>(instance->state);
}

// Ends an instance that createInstance made, its state with it.
template <typename State>
void destroyInstance(void* instanceHandle) {
  auto* instance = static_cast<InstanceObject*>(instanceHandle);
  delete static_cast<State*>(instance->state);
  delete instance;
}

}  // namespace tavmor::rexxapi
