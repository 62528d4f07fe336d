// Stems: sorting, copying, inserting, deleting, searching, reading and writing files, and the
// variable pool.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iterator>

#include "platform/signals.hpp"
#include "rexxutil/files.hpp"
#include "rexxutil/functions.hpp"

namespace tavmor::rexxutil {
namespace {

int compareCaseless(std::string_view l, std::string_view r) {
  const std::size_t n = std::min(l.size(), r.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int d = std::toupper(static_cast<unsigned char>(l[i])) -
                  std::toupper(static_cast<unsigned char>(r[i]));
    if (d != 0) return d;
  }
  return static_cast<int>(l.size()) - static_cast<int>(r.size());
}

int compareExact(std::string_view l, std::string_view r) {
  const std::size_t n = std::min(l.size(), r.size());
  const int d = n == 0 ? 0 : std::memcmp(l.data(), r.data(), n);
  return d != 0 ? d : static_cast<int>(l.size()) - static_cast<int>(r.size());
}

// The part of an item a sort compares: from column `first` (0-based), `width` long (0: to the end).
std::string_view sortKey(const std::string& item, long first, long width) {
  if (static_cast<std::size_t>(first) >= item.size()) return {};
  std::string_view key(item);
  key.remove_prefix(static_cast<std::size_t>(first));
  if (width > 0 && key.size() > static_cast<std::size_t>(width)) key = key.substr(0, width);
  return key;
}

// The order of items for a sort: 'D'escending or not, 'I'nsensitive to case or not.
std::function<bool(std::string_view, std::string_view)> sortOrder(bool descending, bool caseless) {
  return [=](std::string_view l, std::string_view r) {
    const int c = caseless ? compareCaseless(l, r) : compareExact(l, r);
    return descending ? c > 0 : c < 0;
  };
}

}  // namespace

APIRET sysStemSort(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(1, 7)) return kBadCall;
  const auto less = sortOrder(args.option(1) == 'D', args.option(2) == 'I');
  long start = std::max(0L, args.number(3, 1) - 1);
  long count = args.given(4) ? std::max(0L, args.number(4) - start) : 0;
  const long first = std::max(0L, args.number(5, 1) - 1);
  const long width = args.given(6) ? std::max(0L, args.number(6) - first) : 0;
  const std::string stem = stemName(args.text(0));
  std::vector<std::string> items = readStem(stem);
  const long size = static_cast<long>(items.size());
  if (count == 0) count = std::max(0L, size - start);
  if (start > size) start = size;
  count = std::min(count, size - start);
  std::stable_sort(items.begin() + start, items.begin() + start + count,
                   [&](const std::string& l, const std::string& r) {
                     return less(sortKey(l, first, width), sortKey(r, first, width));
                   });
  writeStem(stem, items);
  return setResult(result, "0");
}

APIRET regMultiStemSort(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (args.count() < 6) return kBadCall;
  std::vector<std::string> stems;
  for (std::size_t i = 4; i < args.count(); ++i) stems.push_back(stemName(args.text(i)));
  const long count = stemSize(stems[0]);
  for (const std::string& stem : stems) {
    if (!fetchVariable(stem + "0") || stemSize(stem) != count) return setResult(result, "-1");
  }
  const auto less = sortOrder(args.option(0) == 'D', args.option(1) == 'I');
  const long first = std::max(0L, args.number(2, 1) - 1);
  const long width = args.given(3) ? std::max(0L, args.number(3) - first) : 0;
  const std::vector<std::string> keys = readStem(stems[0]);
  std::vector<std::size_t> order(keys.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t l, std::size_t r) {
    return less(sortKey(keys[l], first, width), sortKey(keys[r], first, width));
  });
  for (const std::string& stem : stems) {
    const std::vector<std::string> items = readStem(stem);
    std::vector<std::string> sorted;
    for (std::size_t i : order) sorted.push_back(items[i]);
    writeStem(stem, sorted);
  }
  return setResult(result, "0");
}

APIRET sysStemCopy(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(2, 6)) return kBadCall;
  const long from = args.number(2, 1) - 1;
  const long to = args.number(3, 1) - 1;
  long count = args.number(4);
  const bool insert = args.option(5) == 'I';
  const std::string source = stemName(args.text(0));
  const std::string target = stemName(args.text(1));
  const std::vector<std::string> items = readStem(source);
  if (from == 0 && to == 0 && count == 0 && !insert) {
    writeStem(target, items);
    return setResult(result, "0");
  }
  const long size = static_cast<long>(items.size());
  if (count == 0 || size < from + count) count = size - from;
  if (count <= 0 || from < 0 || to < 0) return setResult(result, "0");
  std::vector<std::string> copy = readStem(target);
  auto copied = items.begin() + from;
  // Copied past the target's end, the items between stay unset (as in regutil), and are not
  // made: the index is the script's, and may be any number up to an int's.
  if (to <= static_cast<long>(copy.size())) {
    if (insert) {
      copy.insert(copy.begin() + to, copied, copied + count);
    } else {
      if (static_cast<long>(copy.size()) < to + count) copy.resize(to + count);
      std::copy(copied, copied + count, copy.begin() + to);
    }
    writeStem(target, copy);
  } else {
    writeStem(target, copy);
    for (long i = 0; i < count; ++i) setVariable(target + std::to_string(to + i + 1), copied[i]);
    setStemSize(target, to + count);
  }
  return setResult(result, "0");
}

APIRET sysStemDelete(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(2, 3)) return kBadCall;
  const long index = args.number(1);
  const long count = args.given(2) ? args.number(2) : (args.count() > 2 ? 0 : 1);
  const std::string stem = stemName(args.text(0));
  const long size = stemSize(stem);
  if (index <= 0 || index > size || count < 1 || count > size - index + 1) {
    return setResult(result, "-1");
  }
  if (index > 1 && index + count > size) {
    setStemSize(stem, index - 1);
  } else if (index > 1 || count < size) {
    std::vector<std::string> tail;
    for (long i = index + count; i <= size; ++i) {
      const std::string name = stem + std::to_string(i);
      tail.push_back(fetchVariable(name).value_or(name));
    }
    writeStemTail(stem, index, tail);
  } else {
    writeStem(stem, {});
  }
  return setResult(result, "0");
}

APIRET sysStemInsert(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(3, 3)) return kBadCall;
  const std::string stem = stemName(args.text(0));
  std::vector<std::string> items = readStem(stem);
  const long index = args.number(1) - 1;
  if (index < 0 || index > static_cast<long>(items.size())) return setResult(result, "-1");
  items.insert(items.begin() + index, args.string(2));
  writeStem(stem, items);
  return setResult(result, "0");
}

APIRET regStemRead(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(2, 4)) return kBadCall;
  const std::optional<std::string> read = readFileText(args.string(0));
  if (!read || read->empty()) return setResult(result, "1");
  const std::string& data = *read;
  std::vector<std::string> lines;
  std::size_t at = 0;
  long shortest = -1, longest = 0;
  // A leading empty line counts for neither length.
  if (data[0] == '\n') {
    lines.emplace_back();
    at = 1;
  }
  while (at < data.size()) {
    std::size_t end = data.find('\n', at);
    const bool complete = end != std::string::npos;
    if (!complete) end = data.size();
    std::size_t stop = end;
    if (complete && stop > at && data[stop - 1] == '\r') --stop;
    lines.push_back(data.substr(at, stop - at));
    if (complete) {
      const long length = static_cast<long>(stop - at);
      if (shortest < 0 || length < shortest) shortest = length;
      longest = std::max(longest, length);
    }
    at = end + 1;
  }
  const std::string stem = stemName(args.text(1));
  for (std::size_t i = 0; i < lines.size(); ++i)
    setVariable(stem + std::to_string(i + 1), lines[i]);
  setStemSize(stem, static_cast<long>(lines.size()));
  if (args.given(2) && args.count() > 2) {
    setVariable(args.text(2), std::to_string(shortest < 0 ? 2147483647 : shortest));
  }
  if (args.given(3)) setVariable(args.text(3), std::to_string(longest));
  return setResult(result, "0");
}

APIRET regStemWrite(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(2, 2)) return kBadCall;
  std::string text;
  for (const std::string& item : readStem(stemName(args.text(1)))) text += item + '\n';
  if (!writeWholeFile(args.string(0), text)) return setResult(result, "1");
  return setResult(result, "0");
}

APIRET regStemDoOver(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  // One walk at a time, as regutil does: a call for another stem starts over.
  static std::string walked;
  static std::vector<std::string> tails;
  static std::size_t next = 0;
  static bool walking = false;
  const Arguments args(argc, argv);
  if (!args.within(2, 3)) return kBadCall;
  const std::string stem = upper(args.text(0));
  if (!walking || stem != walked) {
    walked = stem;
    tails.clear();
    next = 0;
    for (const auto& [name, value] : allVariables()) {
      if (name.size() > stem.size() && name.compare(0, stem.size(), stem) == 0) {
        tails.push_back(name.substr(stem.size()));
      }
    }
    walking = true;
  }
  if (next >= tails.size()) {
    walking = false;
    walked.clear();
    return setResult(result, "0");
  }
  setVariable(args.text(1), tails[next++]);
  return setResult(result, "1");
}

APIRET regStemSearch(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(2, 4)) return kBadCall;
  std::string stem(args.text(1));
  if (stem.empty() || stem.back() != '.') stem += '.';
  const long size = stemSize(stem);
  if (size == 0) return setResult(result, "0");
  const long start = args.number(2, 1);
  const std::string flags = upper(args.text(3));
  const bool exact = flags.find('E') != std::string::npos;
  const bool caseSensitive = flags.find('C') != std::string::npos;
  const bool sorted = flags.find('S') != std::string::npos;
  const std::string needle = caseSensitive ? args.string(0) : upper(args.text(0));
  // Negative: the needle sorts before the item; 0: found.
  auto compare = [&](long index) {
    const std::string name = stem + std::to_string(index);
    std::string item = fetchVariable(name).value_or(name);
    if (!caseSensitive) item = upper(item);
    if (exact) {
      const int c = compareExact(needle, item);
      return c;
    }
    return item.find(needle) != std::string::npos ? 0 : 1;
  };
  long found = 0;
  if (!sorted) {
    for (long i = start; i <= size && found == 0; ++i) {
      if (compare(i) == 0) found = i;
    }
  } else {
    long l = start, r = size;
    while (l <= r) {
      const long i = (r - l) / 2 + l;
      const int c = compare(i);
      if (c == 0) {
        found = i;
        break;
      }
      if (c < 0)
        r = i - 1;
      else
        l = i + 1;
    }
  }
  return setResult(result, found);
}

APIRET sysDumpVariables(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(0, 1)) return kBadCall;
  std::FILE* out = args.count() == 1 ? std::fopen(args.string(0).c_str(), "a") : stdout;
  if (out == nullptr) return setResult(result, "-1");
  // A write that fails (a full disk, a file size limit) says so, where regutil answers 0.
  const SignalHold held(HeldSignals::kFileSizeLimit);
  bool written = true;
  for (const auto& [name, value] : allVariables()) {
    written =
        written && std::fprintf(out, "Name=%.*s, Value=\"%.*s\"\n", static_cast<int>(name.size()),
                                name.data(), static_cast<int>(value.size()), value.data()) >= 0;
  }
  if (out != stdout) {
    written = std::fclose(out) == 0 && written;
  } else {
    written = std::fflush(out) == 0 && written;
  }
  return setResult(result, written ? "0" : "-1");
}

}  // namespace tavmor::rexxutil
