#include "check/findings.h"

#include <nlohmann/json.hpp>

namespace kiln {
namespace {

std::string Count(size_t count, const char* noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// File names and values found in files may be anything; a report line must
// still be one line of UTF-8.
std::string Printable(const std::string& text) {
  const std::string quoted =
      nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  std::string line;
  for (size_t i = 1; i + 1 < quoted.size(); ++i) {
    // Keep the text as it was, but for what a terminal would not show.
    if (quoted[i] == '\\' && (quoted[i + 1] == '"' || quoted[i + 1] == '\\')) ++i;
    if (quoted[i] == '\x7F') {
      line += "\\u007f";
    } else {
      line += quoted[i];
    }
  }
  return line;
}

}  // namespace

void Findings::Error(std::string where, std::string what) {
  list_.push_back({Severity::Error, std::move(where), std::move(what)});
}

void Findings::Warning(std::string where, std::string what) {
  list_.push_back({Severity::Warning, std::move(where), std::move(what)});
}

bool Findings::HasErrors() const {
  for (const Finding& finding : list_) {
    if (finding.severity == Severity::Error) return true;
  }
  return false;
}

std::string FormatReport(const std::vector<Finding>& findings) {
  std::string report;
  size_t errors = 0;
  for (const Finding& finding : findings) {
    const bool error = finding.severity == Severity::Error;
    errors += error;
    report += error ? "error: " : "warning: ";
    report += Printable(finding.where) + ": " + Printable(finding.what) + "\n";
  }
  const size_t warnings = findings.size() - errors;
  if (findings.empty()) return "no problems found\n";
  return report + Count(errors, "error") + ", " + Count(warnings, "warning") + "\n";
}

std::string Quoted(std::string_view text) {
  return nlohmann::json(std::string(text))
      .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace kiln
