// On Windows the interpreter library is rexx.dll, a module of its own that cannot reach the
// launcher's state: nothing refuses through it.
#include "interp/interp.hpp"

namespace tavmor {

Status takeRefusal() { return Status::success(); }

}  // namespace tavmor
