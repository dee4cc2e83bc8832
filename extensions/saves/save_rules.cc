#include "save_rules.h"

#include <algorithm>

#include "common/ascii.h"
#include "common/utf8.h"

namespace kiln::saves {
namespace {

bool IsNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.';
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && EqualsIgnoringAsciiCase(text.substr(text.size() - end.size()), end);
}

// Windows opens a device, not a file, for these names with any extension.
bool IsDeviceName(std::string_view name) {
  const std::string base = LowerAscii(name.substr(0, name.find('.')));
  for (const char* device : {"con", "prn", "aux", "nul"}) {
    if (base == device) return true;
  }
  return base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) &&
         base[3] >= '0' && base[3] <= '9';
}

constexpr char kBackupEnding[] = ".bak";

bool IsText(const ExtensionValue& value) { return value.type == ExtensionValueType::String; }

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace

std::string NameError(std::string_view name) {
  if (name.empty() || name.size() > kMaxNameLength) {
    return "a save's name is 1 to " + std::to_string(kMaxNameLength) + " characters long";
  }
  if (!std::all_of(name.begin(), name.end(), IsNameCharacter)) {
    return "a save's name holds only the letters A to Z and a to z, the digits, '-', '_' and '.'";
  }
  if (name.front() == '.') return "a save's name does not start with a dot";
  // Windows drops a dot at the end of a name: "a." would be the file "a".
  if (name.back() == '.') return "a save's name does not end with a dot";
  if (EndsWithIgnoringCase(name, kBackupEnding)) {
    return "a save's name does not end in \".bak\": that is where the previous version of a save is kept";
  }
  if (IsDeviceName(name)) {
    return "a save's name is not a Windows device name (CON, PRN, AUX, NUL, COM0 to COM9, LPT0 to LPT9, "
           "with or without an extension)";
  }
  return std::string();
}

Parsed ParseRequest(std::string_view messageId, int32_t count, const ExtensionValue* values) {
  Parsed parsed;
  Request request;
  int32_t names = 1;
  const char* expected = "one string: a name";
  if (messageId == "write") {
    request.operation = Operation::Write;
    expected = "two strings: a name and a text";
  } else if (messageId == "read") {
    request.operation = Operation::Read;
  } else if (messageId == "remove") {
    request.operation = Operation::Remove;
  } else if (messageId == "list") {
    request.operation = Operation::List;
    names = 0;
    expected = "no parameters";
  } else {
    parsed.error = "kiln-saves answers \"write\", \"read\", \"list\" and \"remove\", not " + Quoted(messageId);
    return parsed;
  }
  const int32_t wanted = names + (request.operation == Operation::Write ? 1 : 0);
  const bool textsOnly = count == wanted && std::all_of(values, values + count, IsText);
  if (!textsOnly) {
    parsed.error = Quoted(messageId) + " takes " + expected;
    return parsed;
  }
  if (names > 0) {
    request.name = values[0].text;
    parsed.error = NameError(request.name);
    if (!parsed.error.empty()) return parsed;
  }
  if (request.operation == Operation::Write) {
    const std::string_view text = values[1].text;
    if (text.size() > kMaxSaveBytes) {
      parsed.error = "a save holds at most 16 MiB (" + std::to_string(kMaxSaveBytes) +
                     " bytes of UTF-8); this one has " + std::to_string(text.size());
      return parsed;
    }
    request.text = text;
  }
  parsed.request = std::move(request);
  return parsed;
}

std::string BackupName(const std::string& name) { return name + kBackupEnding; }

std::string TemporaryName(const std::string& name) { return "." + name + ".tmp"; }

std::vector<std::string> SaveNames(const std::vector<std::string>& fileNames) {
  std::vector<std::string> names;
  for (const std::string& file : fileNames) {
    const std::string name =
        EndsWithIgnoringCase(file, kBackupEnding) ? file.substr(0, file.size() - 4) : file;
    if (NameError(name).empty()) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

std::string CountError(const std::vector<std::string>& saves, std::string_view name) {
  if (saves.size() < kMaxSaves) return std::string();
  for (const std::string& save : saves) {
    if (EqualsIgnoringAsciiCase(save, name)) return std::string();
  }
  return "an app keeps at most " + std::to_string(kMaxSaves) +
         " saves: remove one before writing a new one";
}

std::string FileSizeError(unsigned long long size) {
  return size > kMaxSaveBytes ? "the save's file is larger than 16 MiB" : std::string();
}

std::string TextError(std::string_view bytes) {
  return IsValidUtf8(bytes) ? std::string() : "the save's file is not UTF-8 text";
}

unsigned ReplaceRetryPauseMs(unsigned tries, unsigned waitedMs) {
  if (waitedMs >= kReplaceRetryMs) return 0;
  const unsigned pause = tries >= 5 ? 200 : std::min(10u << tries, 200u);
  return std::min(pause, kReplaceRetryMs - waitedMs);
}

std::vector<NamedExtensionValue> AnswerValues(const Answer& answer, std::string& joined) {
  const auto boolean = [](const char* name, bool value) {
    return NamedExtensionValue{name, {ExtensionValueType::Boolean, value ? 1.0 : 0.0, nullptr}};
  };
  const auto text = [](const char* name, const std::string& value) {
    return NamedExtensionValue{name, {ExtensionValueType::String, 0, value.c_str()}};
  };
  if (!answer.error.empty()) return {boolean("ok", false), text("error", answer.error)};
  switch (answer.operation) {
    case Operation::Write:
      return {boolean("ok", true)};
    case Operation::Read:
      if (!answer.text) return {boolean("ok", true), {"text", {ExtensionValueType::Other, 0, nullptr}}};
      return {boolean("ok", true), text("text", *answer.text)};
    case Operation::List:
      joined.clear();
      for (const std::string& name : answer.names) {
        if (!joined.empty()) joined += '\n';
        joined += name;
      }
      return {boolean("ok", true), text("names", joined)};
    case Operation::Remove:
      return {boolean("ok", true), boolean("removed", answer.removed)};
  }
  return {};
}

}  // namespace kiln::saves
