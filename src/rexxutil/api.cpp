#include "rexxutil/api.hpp"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace tavmor::rexxutil {

std::string_view Arguments::text(std::size_t i) const {
  if (!given(i)) return {};
  return std::string_view(argv_[i].strptr, argv_[i].strlength);
}

long Arguments::number(std::size_t i, long otherwise) const {
  return given(i) ? atoiOf(text(i)) : otherwise;
}

char Arguments::option(std::size_t i, char otherwise) const {
  const std::string_view t = text(i);
  return t.empty() ? otherwise : static_cast<char>(std::toupper(static_cast<unsigned char>(t[0])));
}

long atoiOf(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  long value = 0;
  for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at) {
    value = std::min(value * 10 + (text[at] - '0'), static_cast<long>(INT_MAX) + 1);
  }
  return negative ? -value : std::min(value, static_cast<long>(INT_MAX));
}

Seconds secondsOf(std::string_view text) {
  const double seconds = std::atof(std::string(text).c_str());
  Seconds split;
  if (!(seconds > 0)) {
    split.negative = seconds < 0;
    return split;
  }
  if (seconds >= static_cast<double>(kLongestWait)) {
    split.whole = kLongestWait;
    return split;
  }
  split.whole = static_cast<long>(seconds);
  split.nanoseconds = std::min(999999999L, static_cast<long>((seconds - split.whole) * 1e9));
  return split;
}

APIRET setResult(PRXSTRING result, std::string_view value) {
  if (value.size() > result->strlength || result->strptr == nullptr) {
    void* memory = RexxAllocateMemory(value.size() + 1);
    if (memory == nullptr) return kBadCall;
    result->strptr = static_cast<char*>(memory);
  }
  if (!value.empty()) std::memcpy(result->strptr, value.data(), value.size());
  result->strlength = value.size();
  return kDone;
}

APIRET setResult(PRXSTRING result, long value) { return setResult(result, std::to_string(value)); }

std::string upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

namespace {

SHVBLOCK request(std::string_view name, unsigned char code) {
  SHVBLOCK block{};
  block.shvcode = code;
  block.shvname.strptr = const_cast<char*>(name.data());
  block.shvname.strlength = name.size();
  block.shvnamelen = name.size();
  return block;
}

}  // namespace

std::optional<std::string> fetchVariable(std::string_view name) {
  SHVBLOCK block = request(name, RXSHV_FETCH);
  // A null value asks Regina to allocate it, whatever its length.
  block.shvvalue.strptr = nullptr;
  if (RexxVariablePool(&block) & ~RXSHV_NEWV) return std::nullopt;
  if (block.shvret & RXSHV_NEWV) {
    if (block.shvvalue.strptr != nullptr) RexxFreeMemory(block.shvvalue.strptr);
    return std::nullopt;
  }
  std::string value(block.shvvalue.strptr == nullptr ? "" : block.shvvalue.strptr,
                    block.shvvalue.strlength);
  if (block.shvvalue.strptr != nullptr) RexxFreeMemory(block.shvvalue.strptr);
  return value;
}

bool setVariable(std::string_view name, std::string_view value) {
  SHVBLOCK block = request(name, RXSHV_SET);
  block.shvvalue.strptr = const_cast<char*>(value.data());
  block.shvvalue.strlength = value.size();
  block.shvvaluelen = value.size();
  return (RexxVariablePool(&block) & ~RXSHV_NEWV) == 0;
}

void dropVariable(std::string_view name) {
  SHVBLOCK block = request(name, RXSHV_DROPV);
  RexxVariablePool(&block);
}

std::string stemName(std::string_view name) {
  std::string stem = upper(name);
  if (stem.empty() || stem.back() != '.') stem += '.';
  return stem;
}

long stemSize(const std::string& stem) {
  const std::optional<std::string> count = fetchVariable(stem + "0");
  return count ? atoiOf(*count) : 0;
}

std::vector<std::string> readStem(const std::string& stem) {
  std::vector<std::string> items;
  const long size = stemSize(stem);
  for (long i = 1; i <= size; ++i) {
    const std::string name = stem + std::to_string(i);
    items.push_back(fetchVariable(name).value_or(name));
  }
  return items;
}

void writeStem(const std::string& stem, const std::vector<std::string>& items) {
  dropVariable(stem);
  setStemSize(stem, static_cast<long>(items.size()));
  for (std::size_t i = 0; i < items.size(); ++i) {
    setVariable(stem + std::to_string(i + 1), items[i]);
  }
}

void writeStemTail(const std::string& stem, long first, const std::vector<std::string>& items) {
  const long oldSize = stemSize(stem);
  const long last = first - 1 + static_cast<long>(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    setVariable(stem + std::to_string(first + static_cast<long>(i)), items[i]);
  }
  for (long i = last + 1; i <= oldSize; ++i) dropVariable(stem + std::to_string(i));
  setStemSize(stem, last);
}

void setStemSize(const std::string& stem, long size) {
  setVariable(stem + "0", std::to_string(size));
}

std::vector<std::pair<std::string, std::string>> allVariables() {
  std::vector<std::pair<std::string, std::string>> variables;
  SHVBLOCK block{};
  block.shvcode = RXSHV_NEXTV;
  while (!(block.shvret & RXSHV_LVAR)) {
    block.shvname.strptr = nullptr;
    block.shvvalue.strptr = nullptr;
    if (RexxVariablePool(&block) & ~RXSHV_LVAR) break;
    if (block.shvname.strptr != nullptr && block.shvvalue.strptr != nullptr) {
      variables.emplace_back(std::string(block.shvname.strptr, block.shvname.strlength),
                             std::string(block.shvvalue.strptr, block.shvvalue.strlength));
    }
    if (block.shvname.strptr != nullptr) RexxFreeMemory(block.shvname.strptr);
    if (block.shvvalue.strptr != nullptr) RexxFreeMemory(block.shvvalue.strptr);
  }
  return variables;
}

}  // namespace tavmor::rexxutil
