// The rules of saves.ext.dll that hold on any system: which names may name a
// save, how large a save and how many saves may be, what the page may ask,
// and what each answer holds. The Windows side only moves bytes.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kiln/extension.h"

namespace kiln::saves {

inline constexpr char kComponentId[] = "kiln-saves";
inline constexpr size_t kMaxNameLength = 64;
inline constexpr size_t kMaxSaveBytes = 16u << 20;
inline constexpr size_t kMaxSaves = 1000;
// The folder under the user data folder the saves live in.
inline constexpr char kFolderName[] = "saves";

enum class Operation { Write, Read, List, Remove };

// What the page asked for, its texts copied out of the host's records.
struct Request {
  Operation operation = Operation::List;
  std::string name;
  std::string text;
};

// Empty when name may name a save, else the rule it breaks.
std::string NameError(std::string_view name);

// The request in a page message, or the error to answer it with.
struct Parsed {
  std::optional<Request> request;
  std::string error;
};
Parsed ParseRequest(std::string_view messageId, int32_t count, const ExtensionValue* values);

// The file that keeps the previous version of a save, and the one a new
// version is written to before it takes the save's place. A temporary
// file's name starts with a dot, so no save can ever be named like one.
std::string BackupName(const std::string& name);
std::string TemporaryName(const std::string& name);

// The saves a folder holding these files has: every valid name that is a
// file, or whose backup is, sorted, each once.
std::vector<std::string> SaveNames(const std::vector<std::string>& fileNames);

// Why a write to name would break the count limit, given the saves there
// are (file names compare without letter case on Windows); empty when it
// would not.
std::string CountError(const std::vector<std::string>& saves, std::string_view name);

// Why a save's file of that size, or with these bytes, cannot be given to
// the page as it is; empty when it can. Another program may have written it.
std::string FileSizeError(unsigned long long size);
std::string TextError(std::string_view bytes);

// Replacing a save's file fails while another program (a virus scanner, an
// indexer, a sync tool) has it open for a moment, so a write tries again,
// for kReplaceRetryMs at most. The pause before the next try, given the
// tries so far and the time they took: growing from 10 ms to 200 ms, never
// past the limit, and 0 once the limit is reached (the write fails).
inline constexpr unsigned kReplaceRetryMs = 2000;
unsigned ReplaceRetryPauseMs(unsigned tries, unsigned waitedMs);

// What the page is told. ok false carries error; otherwise the member the
// operation answers with.
struct Answer {
  Operation operation = Operation::List;
  std::string error;  // empty when the request succeeded
  std::optional<std::string> text;  // read: none when there is no such save
  std::vector<std::string> names;   // list
  bool removed = false;             // remove
};

// The answer's named values for SendWebMessage. They point into answer and
// into joined, which must outlive them.
std::vector<NamedExtensionValue> AnswerValues(const Answer& answer, std::string& joined);

}  // namespace kiln::saves
