#pragma once

namespace tavmor {

inline constexpr char kToolVersion[] = "1.0.0";

}  // namespace tavmor
