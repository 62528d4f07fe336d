// SysIni on a text INI file: [application] sections of key=value lines. An edit changes the
// lines it is about and no others: comments, blank lines, lines before the first section and
// section lines as written stay byte for byte, with the file's own line ends.
#include <algorithm>
#include <cstdio>

#include "rexxutil/files.hpp"
#include "rexxutil/functions.hpp"

namespace tavmor::rexxutil {
namespace {

bool same(std::string_view a, std::string_view b) { return upper(a) == upper(b); }

// One line of the file: where it starts, where its text ends (before "\r\n" or "\n") and where
// the next line starts.
struct Line {
  std::size_t start, textEnd, end;
};

// The file as lines, and what regutil makes of each: a line starting with ';' is a comment, one
// starting with '[' begins the section named up to the next ']' ("[App] ;x" is "App") or the
// line's end, and any other that is not empty is a key, up to its first '=' (or the whole line),
// in the section above it; keys above the first section belong to none.
class IniText {
 public:
  explicit IniText(std::string text) : text_(std::move(text)) {
    for (std::size_t at = 0; at < text_.size();) {
      std::size_t end = text_.find('\n', at);
      end = end == std::string::npos ? text_.size() : end + 1;
      std::size_t textEnd = end;
      if (textEnd > at && text_[textEnd - 1] == '\n') --textEnd;
      if (textEnd > at && text_[textEnd - 1] == '\r') --textEnd;
      lines_.push_back(Line{at, textEnd, end});
      at = end;
    }
    // New lines end as the file's first line does.
    if (!lines_.empty() && lines_[0].end - lines_[0].textEnd == 2) newline_ = "\r\n";
  }

  const std::string& text() const { return text_; }

  std::string_view line(std::size_t i) const {
    return std::string_view(text_).substr(lines_[i].start, lines_[i].textEnd - lines_[i].start);
  }
  std::optional<std::string_view> sectionName(std::size_t i) const {
    const std::string_view l = line(i);
    if (l.empty() || l[0] != '[') return std::nullopt;
    return l.substr(1, l.find(']') - 1);
  }
  bool isKey(std::size_t i) const {
    const std::string_view l = line(i);
    return !l.empty() && l[0] != ';' && !sectionName(i);
  }
  std::string_view key(std::size_t i) const { return line(i).substr(0, line(i).find('=')); }
  std::string_view value(std::size_t i) const {
    const std::size_t equals = line(i).find('=');
    return equals == std::string_view::npos ? std::string_view() : line(i).substr(equals + 1);
  }

  std::vector<std::string> sectionNames() const {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      if (const auto name = sectionName(i)) names.emplace_back(*name);
    }
    return names;
  }
  // The lines of the first section of that name, its own line first, up to the next section
  // line: [first, last). Empty (first == last) when there is none.
  std::pair<std::size_t, std::size_t> section(std::string_view name) const {
    std::size_t first = 0;
    while (first < lines_.size() && !(sectionName(first) && same(*sectionName(first), name))) {
      ++first;
    }
    if (first == lines_.size()) return {first, first};
    std::size_t last = first + 1;
    while (last < lines_.size() && !sectionName(last)) ++last;
    return {first, last};
  }
  // The line of the first key of that name in the section, or its `last`.
  std::size_t findKey(std::pair<std::size_t, std::size_t> in, std::string_view name) const {
    for (std::size_t i = in.first + 1; i < in.second; ++i) {
      if (isKey(i) && same(key(i), name)) return i;
    }
    return in.second;
  }
  std::vector<std::string> keys(std::pair<std::size_t, std::size_t> in) const {
    std::vector<std::string> names;
    for (std::size_t i = in.first + 1; i < in.second; ++i) {
      if (isKey(i)) names.emplace_back(key(i));
    }
    return names;
  }

  // Replaces lines [first, last) with `lines`, each ended as the file's lines end. A last line
  // without its end gets one when something follows it (regutil runs them together).
  void replace(std::size_t first, std::size_t last, const std::vector<std::string>& lines) {
    std::string added;
    for (const std::string& l : lines) added += l + newline_;
    std::size_t from = first < lines_.size() ? lines_[first].start : text_.size();
    const std::size_t to = last < lines_.size() ? lines_[last].start : text_.size();
    if (!added.empty() && from == text_.size() && !text_.empty() && text_.back() != '\n') {
      added.insert(0, newline_);
    }
    text_.replace(from, to - from, added);
    *this = IniText(std::move(text_));
  }

 private:
  std::string text_;
  std::vector<Line> lines_;
  std::string newline_ = "\n";
};

}  // namespace

// SysIni([file], app, key, value | 'DELETE:'), SysIni([file], app, key),
// SysIni([file], app, ['DELETE:']), SysIni([file], 'ALL:', stem), SysIni([file], app, 'ALL:',
// stem). Applications and keys are matched in any case; new ones are written in upper case, as
// regutil writes them. Without a file, win.ini in the working directory.
APIRET sysIni(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(2, 4) || args.text(1).empty()) return kBadCall;
  const std::string file = args.text(0).empty() ? "win.ini" : args.string(0);
  const std::string app = upper(args.text(1));
  const std::string key = upper(args.text(2));
  static constexpr char kError[] = "ERROR:";
  // Listings without a stem to fill are refused before the file is opened.
  if ((key == "ALL:" && args.count() < 4) ||
      (key != "ALL:" && app == "ALL:" && args.count() != 3)) {
    return setResult(result, kError);
  }
  std::optional<std::string> data = readFileText(file);
  if (!data) {
    // Kept only for regutil parity: any call, a query too, creates a missing file, empty (and
    // through a dangling link, the file it names).
    if (!writeWholeFile(file, "", true)) return setResult(result, kError);
    data.emplace();
  }
  IniText ini(std::move(*data));
  const auto section = ini.section(app);
  const bool found = section.first != section.second;
  if (key == "ALL:") {
    writeStem(stemName(args.text(3)), found ? ini.keys(section) : std::vector<std::string>());
    return setResult(result, "");
  }
  if (app == "ALL:") {
    writeStem(stemName(args.text(2)), ini.sectionNames());
    return setResult(result, "");
  }
  const bool edit = args.count() > 3 || key.empty() || key == "DELETE:";
  if (!edit) {
    const std::size_t at = ini.findKey(section, key);
    return setResult(result, at < section.second ? ini.value(at) : kError);
  }
  const std::string value = args.string(3);
  if (args.count() <= 3) {
    if (!found) return setResult(result, "");
    ini.replace(section.first, section.second, {});
  } else if (same(value, "DELETE:")) {
    const std::size_t at = ini.findKey(section, key);
    if (at == section.second) return setResult(result, "");
    // Only the key's line goes: regutil takes the comments below it along.
    ini.replace(at, at + 1, {});
  } else if (!found) {
    ini.replace(section.first, section.first, {"[" + app + "]", key + "=" + value});
  } else {
    const std::size_t at = ini.findKey(section, key);
    ini.replace(at, at == section.second ? at : at + 1, {key + "=" + value});
  }
  return setResult(result, rewriteFile(file, ini.text()) ? "" : kError);
}

}  // namespace tavmor::rexxutil
