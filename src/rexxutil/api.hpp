#pragma once
// What every RexxUtil function needs of Regina's SAA interface: its arguments, its result, and
// the calling program's variables and stems.
#define INCL_RXSHV
#define INCL_RXFUNC
#define INCL_RXMACRO
#include <rexxsaa.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavmor::rexxutil {

// What a function tells Regina: done, or a call that raises Error 40 (Incorrect call to routine).
constexpr APIRET kDone = 0;
constexpr APIRET kBadCall = 22;

// The signature of every function of the package, as Regina calls it.
using Function = APIRET(PCSZ name, ULONG argc, PRXSTRING argv, PCSZ queue, PRXSTRING result);

// One call's arguments.
class Arguments {
 public:
  Arguments(ULONG count, const RXSTRING* argv) : count_(count), argv_(argv) {}
  std::size_t count() const { return count_; }
  bool within(std::size_t min, std::size_t max) const { return count_ >= min && count_ <= max; }
  // True when argument `i` (0-based) was given, and not omitted.
  bool given(std::size_t i) const { return i < count_ && argv_[i].strptr != nullptr; }
  // The text of argument `i`, empty when it is missing.
  std::string_view text(std::size_t i) const;
  std::string string(std::size_t i) const { return std::string(text(i)); }
  // The argument read as C's atoi reads it (leading blanks, a sign, digits), held to an int's
  // range; `otherwise` when missing.
  long number(std::size_t i, long otherwise = 0) const;
  // The argument's first character in upper case, or `otherwise` when missing or empty.
  char option(std::size_t i, char otherwise = '\0') const;

 private:
  std::size_t count_;
  const RXSTRING* argv_;
};

// Stores `value` as the function's result, in Regina's buffer or in memory allocated for it.
APIRET setResult(PRXSTRING result, std::string_view value);
APIRET setResult(PRXSTRING result, long value);

std::string upper(std::string_view text);
std::string lower(std::string_view text);
// Leading blanks, a sign and digits, as C's atoi reads them; past an int's range, its nearest
// end (where atoi's result is undefined).
long atoiOf(std::string_view text);

// The longest wait a timespec or timeval holds on every platform: about 68 years, which is for
// ever to a script.
constexpr long kLongestWait = 2147483647;
// A time in seconds as C's atof reads the text (not a number: 0), split into whole seconds and
// nanoseconds; a positive time past kLongestWait is kLongestWait. `negative` says the time is
// below zero (its parts are then 0), which every caller treats in a way of its own.
struct Seconds {
  long whole = 0;
  long nanoseconds = 0;
  bool negative = false;
  bool zero() const { return whole == 0 && nanoseconds == 0; }
};
Seconds secondsOf(std::string_view text);

// The calling program's variables, by their exact names (no substitution in the tail).
std::optional<std::string> fetchVariable(std::string_view name);
bool setVariable(std::string_view name, std::string_view value);
void dropVariable(std::string_view name);

// A stem name as the package uses it: in upper case, ending in a period.
std::string stemName(std::string_view name);
// The count in stem.0, read as atoi does (0 when unset).
long stemSize(const std::string& stem);
// stem.1 to stem.n, n being stem.0.
std::vector<std::string> readStem(const std::string& stem);
// Replaces the whole stem: drops it, then sets stem.0 and stem.1 to stem.n from `items`.
void writeStem(const std::string& stem, const std::vector<std::string>& items);
// Sets stem.first onwards from `items` and stem.0 to the last index set, dropping the items
// after it up to the old stem.0.
void writeStemTail(const std::string& stem, long first, const std::vector<std::string>& items);
void setStemSize(const std::string& stem, long size);

// Each variable the program can see, with its value, in the order Regina gives them.
std::vector<std::pair<std::string, std::string>> allVariables();

}  // namespace tavmor::rexxutil
