#include "check/config_check.h"

#include <algorithm>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/user_data_folder.h"
#include "common/ascii.h"
#include "common/json_reading.h"

namespace kiln {
namespace {

constexpr const char* kFile = kConfigFileName;
constexpr uint64_t kMaxFileBytes = uint64_t{64} << 20;
constexpr size_t kMaxShownValue = 60;

std::string KeyPath(const ConfigReading& reading) {
  return reading.section.empty() ? reading.key : reading.section + "." + reading.key;
}

// A value from the file as JSON, shortened when long.
std::string Shown(const nlohmann::json& value) {
  std::string text = value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  if (text.size() > kMaxShownValue) text = text.substr(0, kMaxShownValue - 3) + "...";
  return text;
}

const char* TypeWords(ConfigValueType type) {
  switch (type) {
    case ConfigValueType::Object: return "an object";
    case ConfigValueType::Text: return "a string";
    case ConfigValueType::Number: return "a number";
    case ConfigValueType::Flag: return "true or false";
  }
  return "";
}

std::string Expectation(const ConfigReading& reading) {
  if (reading.words.empty()) return "a non-empty string";
  std::string words;
  for (size_t i = 0; i < reading.words.size(); ++i) {
    if (i > 0) words += i + 1 == reading.words.size() ? " or " : ", ";
    words += Quoted(reading.words[i]);
  }
  return words;
}

// Line and column of the byte the parser stopped at (byte counts from 1).
std::string Location(const std::string& text, size_t byte) {
  const size_t at = std::min(byte > 0 ? byte - 1 : 0, text.size());
  const size_t line = 1 + std::count(text.begin(), text.begin() + at, '\n');
  const size_t newline = at == 0 ? std::string::npos : text.rfind('\n', at - 1);
  const size_t lineStart = newline == std::string::npos ? 0 : newline + 1;
  return std::to_string(line) + ":" + std::to_string(at - lineStart + 1);
}

// The JSON library's message without its own prefix and position.
std::string ParseMessage(const std::string& message) {
  const size_t column = message.find(", column ");
  const size_t colon = message.find(": ", column == std::string::npos ? 0 : column);
  if (column != std::string::npos && colon != std::string::npos) return message.substr(colon + 2);
  const size_t bracket = message.find("] ");
  return bracket == std::string::npos ? message : message.substr(bracket + 2);
}

size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      const size_t change = LowerAscii(a[i - 1]) == LowerAscii(b[j - 1]) ? 0 : 1;
      row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + change});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The known key nearest to an unknown one, when one is near enough to be
// what was meant: "tittle" for "title", "contentMode" for "content-mode".
std::string ClosestKey(const std::string& unknown, const std::vector<std::string>& known) {
  std::string closest;
  size_t best = std::max<size_t>(2, unknown.size() / 4) + 1;
  for (const std::string& key : known) {
    const size_t distance = EditDistance(unknown, key);
    if (distance < best) {
      best = distance;
      closest = key;
    }
  }
  return closest;
}

void ReportReading(const ConfigReading& reading, Findings& findings) {
  const std::string key = KeyPath(reading);
  switch (reading.outcome) {
    case ConfigOutcome::Absent:
    case ConfigOutcome::Used:
      return;
    case ConfigOutcome::Refused:
      if (!reading.value || reading.value->is_null()) {
        findings.Error(kFile, key + " is missing; it must be " + Expectation(reading));
      } else {
        findings.Error(kFile, key + " must be " + Expectation(reading) + ", found " +
                                  Shown(*reading.value));
      }
      return;
    case ConfigOutcome::WrongType:
      if (reading.type == ConfigValueType::Object) {
        findings.Warning(kFile, key + " should be an object, found " + Shown(*reading.value) +
                                    "; every " + key + " setting takes its default");
      } else {
        findings.Warning(kFile, key + " should be " + TypeWords(reading.type) + ", found " +
                                    Shown(*reading.value) +
                                    (reading.fallback.empty()
                                         ? "; kiln.exe ignores it"
                                         : "; kiln.exe uses the default " + reading.fallback));
      }
      return;
  }
}

// Sizes are read into 32 bits and used as they come.
void CheckSize(const ConfigReading& reading, Findings& findings) {
  const nlohmann::json& value = *reading.value;
  const int32_t size = ToInt32(value);
  const double number = value.get<double>();
  if (number >= 2147483648.0 || number < -2147483648.0) {
    findings.Warning(kFile, KeyPath(reading) + " is " + Shown(value) +
                                ", which kiln.exe reads as " + std::to_string(size));
  } else if (size <= 0 && !reading.fallback.empty()) {
    findings.Warning(kFile, KeyPath(reading) + " is " + Shown(value) +
                                ", which leaves the window no room for the app");
  }
}

// A minimum above the configured size wins: the window opens at the minimum.
void CheckMinimumSize(const AppConfig& config, Findings& findings) {
  const struct {
    const char* minimumKey;
    int32_t minimum;
    const char* sizeKey;
    int32_t size;
    const char* words;
  } sizes[] = {{"window.min-width", config.minWidth, "window.width", config.width, " wide"},
               {"window.min-height", config.minHeight, "window.height", config.height, " high"}};
  for (const auto& size : sizes) {
    if (size.minimum > 0 && size.minimum > size.size) {
      findings.Warning(kFile, std::string(size.minimumKey) + " " + std::to_string(size.minimum) +
                                  " is larger than " + size.sizeKey + " " +
                                  std::to_string(size.size) + "; the window opens " +
                                  std::to_string(size.minimum) + size.words);
    }
  }
}

// Keys inside a section that kiln.exe never reads. The top level is shared
// with other tools and may hold anything.
void CheckUnknownKeys(const std::vector<ConfigReading>& readings, Findings& findings) {
  for (const ConfigReading& section : readings) {
    if (section.type != ConfigValueType::Object || section.outcome != ConfigOutcome::Used) continue;
    std::vector<std::string> known;
    for (const ConfigReading& reading : readings) {
      if (reading.section == section.key) known.push_back(reading.key);
    }
    for (const auto& member : section.value->items()) {
      if (std::find(known.begin(), known.end(), member.key()) != known.end()) continue;
      const std::string closest = ClosestKey(member.key(), known);
      findings.Warning(kFile, "unknown key " + Quoted(section.key + "." + member.key()) +
                                  (closest.empty() ? ", which kiln.exe ignores"
                                                   : "; did you mean " +
                                                         Quoted(section.key + "." + closest) +
                                                         "?"));
    }
  }
}

// The browser splits "chromium-args" as Windows splits a command line:
// blanks separate entries except inside double quotes, which are dropped.
// Each entry should be a switch, "--name" or "--name=value"; anything else
// the browser takes for an address to open or passes over.
void CheckChromiumArgs(const std::string& args, Findings& findings) {
  std::vector<std::string> entries;
  std::string entry;
  bool quoted = false, inEntry = false;
  for (const char c : args) {
    if (c == '"') {
      quoted = !quoted;
      inEntry = true;
    } else if (!quoted && (c == ' ' || c == '\t' || c == '\n' || c == '\r')) {
      if (inEntry) entries.push_back(entry);
      entry.clear();
      inEntry = false;
    } else {
      entry += c;
      inEntry = true;
    }
  }
  if (inEntry) entries.push_back(entry);
  if (quoted) {
    findings.Warning(kFile, "chromium-args has a quote that is never closed; the browser reads "
                            "everything after it as part of one entry");
  }
  for (const std::string& argument : entries) {
    const size_t end = std::min(argument.find('='), argument.size());
    bool isSwitch = argument.compare(0, 2, "--") == 0 && end > 2;
    for (size_t i = 2; isSwitch && i < end; ++i) {
      const char c = LowerAscii(argument[i]);
      isSwitch = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
    }
    if (!isSwitch) {
      findings.Warning(kFile, "chromium-args entry " + Quoted(argument) +
                                  " is no browser switch; write switches as \"--name\" or "
                                  "\"--name=value\"");
    }
  }
}

std::string JsonTypeName(const nlohmann::json& value) {
  switch (value.type()) {
    case nlohmann::json::value_t::array: return "an array";
    case nlohmann::json::value_t::string: return "a string";
    case nlohmann::json::value_t::boolean: return "a boolean";
    case nlohmann::json::value_t::null: return "null";
    default: return "a number";
  }
}

std::optional<std::string> ReadPackageJson(AppFolder& folder, Findings& findings) {
  const FileFacts facts = folder.Examine(kFile);
  if (!facts.exists) {
    findings.Error(kFile, "missing; kiln.exe reads its settings from package.json beside it");
    return std::nullopt;
  }
  if (facts.isFolder) {
    findings.Error(kFile, "is a folder, not a file");
    return std::nullopt;
  }
  if (facts.size > kMaxFileBytes) {
    findings.Error(kFile, "is larger than 64 MiB; not checked");
    return std::nullopt;
  }
  std::optional<std::string> text = folder.Read(kFile, kMaxFileBytes);
  if (!text) {
    findings.Error(kFile, "cannot be read");
  } else if (text->empty()) {
    findings.Error(kFile, "is empty");
    text.reset();
  } else if (text->compare(0, 2, "\xFF\xFE") == 0 || text->compare(0, 2, "\xFE\xFF") == 0) {
    findings.Error(kFile, "is saved as UTF-16; kiln.exe reads only UTF-8");
    text.reset();
  }
  return text;
}

}  // namespace

CheckedConfig CheckPackageJson(AppFolder& folder, Findings& findings) {
  CheckedConfig checked;
  const std::optional<std::string> text = ReadPackageJson(folder, findings);
  if (!text) return checked;
  nlohmann::json root;
  try {
    root = ParsePackageJson(*text);
  } catch (const nlohmann::json::parse_error& error) {
    findings.Error(std::string(kFile) + ":" + Location(*text, error.byte),
                   ParseMessage(error.what()));
    return checked;
  } catch (const nlohmann::json::exception& error) {
    findings.Error(kFile, ParseMessage(error.what()));
    return checked;
  }
  const size_t nul = text->find('\0');
  if (nul != std::string::npos) {
    findings.Warning(std::string(kFile) + ":" + Location(*text, nul + 1),
                     "a NUL byte; kiln.exe reads nothing after it");
  }
  if (!root.is_object()) {
    findings.Error(kFile, "must hold a JSON object, found " + JsonTypeName(root));
    return checked;
  }

  checked.parsed = true;
  const std::vector<ConfigReading> readings = ReadAppConfig(root, checked.config);
  for (const ConfigReading& reading : readings) {
    ReportReading(reading, findings);
    if (reading.outcome == ConfigOutcome::Refused) checked.refused.insert(KeyPath(reading));
    if (reading.type == ConfigValueType::Number && reading.outcome == ConfigOutcome::Used) {
      CheckSize(reading, findings);
    }
  }
  CheckUnknownKeys(readings, findings);
  CheckMinimumSize(checked.config, findings);
  CheckChromiumArgs(checked.config.chromiumArgs, findings);

  if (checked.Knows("name")) {
    const std::string folderName = UserDataFolderName(checked.config.name);
    if (folderName != checked.config.name) {
      findings.Warning(kFile, "name " + Quoted(checked.config.name) +
                                  " is no folder name Windows accepts; kiln.exe keeps the "
                                  "app's data in the folder " +
                                  Quoted(folderName) + " instead");
    }
  }
  return checked;
}

}  // namespace kiln
