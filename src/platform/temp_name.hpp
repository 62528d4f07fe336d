#pragma once
// The random part of the names of temporary files written beside a target.

#include <cstddef>
#include <cstdint>
#include <string>

namespace tavmor {

// `count` random lowercase letters and digits: enough to keep apart the names of files made at
// one moment, which exclusive creation makes safe anyway. `state` carries the sequence from one
// call to the next; seed it with what differs between processes and threads.
std::string randomLetters(std::uint64_t& state, std::size_t count);

}  // namespace tavmor
