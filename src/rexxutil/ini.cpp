// SysIni on a text INI file: [application] sections of key=value lines.
#include <algorithm>
#include <cstdio>

#include "rexxutil/files.hpp"
#include "rexxutil/functions.hpp"

namespace tavmor::rexxutil {
namespace {

struct Section {
  std::string name;
  std::vector<std::pair<std::string, std::string>> entries;
};

std::vector<Section> load(const std::string& path) {
  std::vector<Section> sections;
  const std::optional<std::string> data = readFileText(path);
  if (!data) {
    // Opening a file regutil does not find creates it, empty.
    writeWholeFile(path, "", true);
    return sections;
  }
  std::size_t at = 0;
  while (at < data->size()) {
    std::size_t end = data->find('\n', at);
    if (end == std::string::npos) end = data->size();
    std::string line = data->substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    at = end + 1;
    if (!line.empty() && line.front() == ';') continue;
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      sections.push_back(Section{line.substr(1, line.size() - 2), {}});
    } else if (const std::size_t equals = line.find('=');
               equals != std::string::npos && !sections.empty()) {
      sections.back().entries.emplace_back(line.substr(0, equals), line.substr(equals + 1));
    }
  }
  return sections;
}

bool save(const std::string& path, const std::vector<Section>& sections) {
  std::string text;
  for (const Section& s : sections) {
    text += "[" + s.name + "]\n";
    for (const auto& [key, value] : s.entries) text += key + "=" + value + "\n";
  }
  const std::string temporary = path + ".tmp";
  if (!writeWholeFile(temporary, text)) return false;
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

bool same(std::string_view a, std::string_view b) { return upper(a) == upper(b); }

Section* findSection(std::vector<Section>& sections, std::string_view name) {
  for (Section& s : sections) {
    if (same(s.name, name)) return &s;
  }
  return nullptr;
}

}  // namespace

// SysIni([file], app, key, value | 'DELETE:'), SysIni([file], app, key),
// SysIni([file], app, ['DELETE:']), SysIni([file], 'ALL:', stem), SysIni([file], app, 'ALL:',
// stem). Applications and keys are matched in any case and written in upper case, as regutil writes
// them; without a file, win.ini in the working directory.
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
  std::vector<Section> sections = load(file);
  Section* section = findSection(sections, app);
  if (key == "ALL:") {
    std::vector<std::string> keys;
    if (section != nullptr) {
      for (const auto& entry : section->entries) keys.push_back(entry.first);
    }
    writeStem(stemName(args.text(3)), keys);
    return setResult(result, "");
  }
  if (app == "ALL:") {
    std::vector<std::string> names;
    for (const Section& s : sections) names.push_back(s.name);
    writeStem(stemName(args.text(2)), names);
    return setResult(result, "");
  }
  if (args.count() > 3) {
    const std::string value = args.string(3);
    if (same(value, "DELETE:")) {
      if (section == nullptr) return setResult(result, "");
      std::erase_if(section->entries, [&](const auto& entry) { return same(entry.first, key); });
    } else {
      if (section == nullptr) {
        sections.push_back(Section{app, {}});
        section = &sections.back();
      }
      auto entry = std::find_if(section->entries.begin(), section->entries.end(),
                                [&](const auto& e) { return same(e.first, key); });
      if (entry != section->entries.end())
        entry->second = value;
      else
        section->entries.emplace_back(key, value);
    }
    return setResult(result, save(file, sections) ? "" : kError);
  }
  if (key.empty() || key == "DELETE:") {
    if (section == nullptr) return setResult(result, "");
    sections.erase(sections.begin() + (section - sections.data()));
    return setResult(result, save(file, sections) ? "" : kError);
  }
  if (section != nullptr) {
    for (const auto& [k, value] : section->entries) {
      if (same(k, key)) return setResult(result, value);
    }
  }
  return setResult(result, kError);
}

}  // namespace tavmor::rexxutil
