// Refusals of the interpreter library linked into the launcher.
#include <utility>

#include "interp/interp.hpp"

namespace tavmor {
namespace {

Status refusal = Status::success();

}  // namespace

void refuseProgram(Status failure) { refusal = std::move(failure); }

Status takeRefusal() { return std::exchange(refusal, Status::success()); }

}  // namespace tavmor
