// SysIni on a text INI file: [application] sections of key=value lines.
#include <cstdio>
#include <fstream>

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
  const std::optional<std::string> data = readWholeFile(path);
  if (!data) return sections;
  std::size_t at = 0;
  while (at < data->size()) {
    std::size_t end = data->find('\n', at);
    if (end == std::string::npos) end = data->size();
    std::string line = data->substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    at = end + 1;
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
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!(out << text)) return false;
  }
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
// SysIni([file], app, 'DELETE:'), SysIni([file], 'ALL:', stem), SysIni([file], app, 'ALL:', stem)
APIRET sysIni(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(2, 4)) return kBadCall;
  std::string file = args.string(0);
  if (file.empty() || same(file, "USER") || same(file, "SYSTEM") || same(file, "BOTH")) {
    file = "win.ini";
  }
  const std::string app = args.string(1);
  const std::string key = args.string(2);
  std::vector<Section> sections = load(file);
  static constexpr char kError[] = "ERROR:";
  if (same(app, "ALL:")) {
    std::vector<std::string> names;
    for (const Section& s : sections) names.push_back(s.name);
    writeStem(stemName(args.text(2)), names);
    return setResult(result, "");
  }
  Section* section = findSection(sections, app);
  if (same(key, "ALL:")) {
    std::vector<std::string> keys;
    if (section != nullptr) {
      for (const auto& entry : section->entries) keys.push_back(entry.first);
    }
    writeStem(stemName(args.text(3)), keys);
    return setResult(result, section != nullptr ? "" : kError);
  }
  if (same(key, "DELETE:")) {
    if (section == nullptr) return setResult(result, kError);
    sections.erase(sections.begin() + (section - sections.data()));
    return setResult(result, save(file, sections) ? "" : kError);
  }
  if (args.count() < 4) {
    if (section != nullptr) {
      for (const auto& [k, value] : section->entries) {
        if (same(k, key)) return setResult(result, value);
      }
    }
    return setResult(result, kError);
  }
  const std::string value = args.string(3);
  if (same(value, "DELETE:")) {
    if (section == nullptr) return setResult(result, kError);
    std::erase_if(section->entries, [&](const auto& entry) { return same(entry.first, key); });
    return setResult(result, save(file, sections) ? "" : kError);
  }
  if (section == nullptr) {
    sections.push_back(Section{app, {}});
    section = &sections.back();
  }
  bool replaced = false;
  for (auto& entry : section->entries) {
    if (same(entry.first, key)) {
      entry.second = value;
      replaced = true;
    }
  }
  if (!replaced) section->entries.emplace_back(key, value);
  return setResult(result, save(file, sections) ? "" : kError);
}

}  // namespace tavmor::rexxutil
