// What the checker found in an app folder, and how it is reported: one line
// per finding, then a summary line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kiln {

// Error: kiln.exe stops, or the app breaks. Warning: it works, but is
// probably not what the author meant.
enum class Severity { Warning, Error };

struct Finding {
  Severity severity = Severity::Error;
  std::string where;  // what the finding is about: a path in the app folder
  std::string what;
};

class Findings {
 public:
  void Error(std::string where, std::string what);
  void Warning(std::string where, std::string what);

  const std::vector<Finding>& list() const { return list_; }
  bool HasErrors() const;

 private:
  std::vector<Finding> list_;
};

// "error: www/index.html: ..." and "warning: ...", one line each, then
// "2 errors, 1 warning" or "no problems found". Text that is not UTF-8 is
// shown with U+FFFD in its place.
std::string FormatReport(const std::vector<Finding>& findings);

// A text as it is shown in a finding: in double quotes, with JSON escapes
// for quotes, backslashes and control characters.
std::string Quoted(std::string_view text);

}  // namespace kiln
