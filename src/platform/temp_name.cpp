#include "platform/temp_name.hpp"

namespace tavmor {
namespace {

// The next number of a splitmix64 sequence.
std::uint64_t nextRandom(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9e3779b97f4a7c15u);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
  return z ^ (z >> 31);
}

}  // namespace

std::string randomLetters(std::uint64_t& state, std::size_t count) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string letters(count, 'x');
  for (char& c : letters) c = kLetters[nextRandom(state) % (sizeof(kLetters) - 1)];
  return letters;
}

}  // namespace tavmor
