#include "interp/interp.hpp"

#include "interp/interface.hpp"

namespace tavmor {
namespace {

// The function vector of a handle lies at a pointer-sized field of the object it points at.
template <typename Function>
Function vectorEntry(void* handle, std::size_t field, std::size_t offset) {
  const auto* fields = static_cast<const rexxapi::AnyFunction* const*>(handle);
  const rexxapi::AnyFunction* vector = fields[field];
  return reinterpret_cast<Function>(vector[offset / rexxapi::kSlotSize]);
}

constexpr std::size_t kInstanceVectorField = 0;
constexpr std::size_t kThreadVectorField = 1;

}  // namespace

Result<void*> runScript(const char* path, int argc, char** argv) {
  void* instance = nullptr;
  void* thread = nullptr;
  RexxCreateInterpreter(&instance, &thread, nullptr);
  if (instance == nullptr || thread == nullptr) {
    return Status::failure("Cannot create a Rexx interpreter instance.");
  }

  const auto newArray =
      vectorEntry<rexxapi::NewArrayFunction>(thread, kThreadVectorField, rexxapi::kNewArrayOffset);
  const auto newString = vectorEntry<rexxapi::NewStringFunction>(thread, kThreadVectorField,
                                                                 rexxapi::kNewStringOffset);
  const auto arrayPut =
      vectorEntry<rexxapi::ArrayPutFunction>(thread, kThreadVectorField, rexxapi::kArrayPutOffset);
  const auto callProgram = vectorEntry<rexxapi::CallProgramFunction>(thread, kThreadVectorField,
                                                                     rexxapi::kCallProgramOffset);

  void* arguments = newArray(thread, 0);
  for (int i = 1; i < argc; ++i) {
    arrayPut(thread, arguments, newString(thread, argv[i]), static_cast<std::size_t>(i));
  }
  callProgram(thread, path, arguments);
  if (Status refused = takeRefusal(); !refused.ok()) {
    terminateInstance(instance);
    return refused;
  }
  return instance;
}

void terminateInstance(void* instance) {
  vectorEntry<rexxapi::TerminateFunction>(instance, kInstanceVectorField,
                                          rexxapi::kTerminateOffset)(instance);
}

}  // namespace tavmor
