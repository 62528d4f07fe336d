#pragma once
// RexxUtil, the function package that regina loads as "regutil", carried by the launcher itself:
// a launcher that links Regina in can load no shared library.

#include <string>
#include <string_view>

namespace tavmor::rexxutil {

// What RxFuncAdd(name, module, entry) answers, as regina answers it with regutil installed: 0
// once the function is registered, 10 when `name` is taken, 40 for a module other than RexxUtil
// (no other can be loaded), 50 for an entry RexxUtil does not have. Any failure leaves the text
// that RxFuncErrMsg() gives in `errorMessage`.
int addFunction(std::string_view name, std::string_view module, std::string_view entry,
                std::string& errorMessage);

// RxFuncQuery(name): 0 when a function of that name (in any case) is registered, 1 otherwise.
int queryFunction(std::string_view name);

}  // namespace tavmor::rexxutil
