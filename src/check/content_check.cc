#include "check/content_check.h"

#include <algorithm>
#include <vector>

#include "check/folder_walk.h"
#include "common/ascii.h"
#include "webview/app_origin.h"
#include "webview/content_answer.h"
#include "webview/request_path.h"

namespace kiln {
namespace {

constexpr const char* kContentFolder = kContentFolderName;
constexpr size_t kContentPrefix = sizeof(kContentFolderName);  // "www/"

std::string InContent(const std::string& relative) {
  return relative.empty() ? kContentFolder : std::string(kContentFolder) + "/" + relative;
}

// www as the content server sees it.
class ContentFilesIn final : public ContentFiles {
 public:
  explicit ContentFilesIn(AppFolder& folder) : folder_(folder) {}
  FileFacts Examine(const std::string& relativePath) override {
    return folder_.Examine(InContent(relativePath));
  }

 private:
  AppFolder& folder_;
};

// Every name under www the content server can never serve. Folders with
// such names are not entered: nothing inside them can be served either.
class ContentNames final : public FolderWalker {
 public:
  ContentNames(Findings& findings, const WalkBounds& bounds)
      : findings_(findings), bounds_(bounds) {}

  // Windows knows no two names that differ only in letter case: copied
  // there, one of them takes the other's place.
  void Listed(const std::string& folder, const std::vector<FolderEntry>& entries) override {
    std::vector<std::pair<std::string, std::string>> folded;
    for (const FolderEntry& entry : entries) {
      folded.emplace_back(LowerAscii(entry.name), entry.name);
    }
    std::sort(folded.begin(), folded.end());
    for (size_t i = 1; i < folded.size(); ++i) {
      if (folded[i].first != folded[i - 1].first) continue;
      findings_.Warning(folder + "/" + folded[i - 1].second,
                        "differs from " + Quoted(folded[i].second) +
                            " only in letter case; on Windows one of the two takes the other's "
                            "place");
    }
  }

  bool Visit(const std::string& path, const FolderEntry&) override {
    const PathFault fault = ContentPathFault(path.substr(kContentPrefix));
    if (fault == PathFault::None) return true;
    findings_.Error(path, "can never be served: " + DescribePathFault(fault));
    return false;
  }

  void Unlisted(const std::string& folder) override {
    findings_.Warning(folder, "cannot be listed; what it holds was not checked");
  }

  void TooDeep(const std::string& folder) override {
    findings_.Warning(folder, "lies " + std::to_string(bounds_.maxDepth) +
                                  " folders deep; what it holds was not checked");
  }

  void TooMany() override {
    findings_.Warning(kContentFolder, "holds more than " +
                                          std::to_string(bounds_.maxEntries) +
                                          " entries; the rest was not checked");
  }

 private:
  Findings& findings_;
  const WalkBounds bounds_;
};

void CheckStartPage(AppFolder& folder, const AppConfig& config, Findings& findings) {
  ContentFilesIn files(folder);
  const std::string start = StartAddress(ContentMode::Bundle, kAppOrigin, config.main);
  if (AnswerContentRequest(start, kAppOrigin, std::nullopt, files).status == 200) return;
  PathFault fault = PathFault::None;
  const std::optional<RequestTarget> target = RequestTargetFromUri(start, kAppOrigin, &fault);
  if (!target) {
    findings.Error("package.json", "main " + Quoted(config.main) +
                                       " names no file the content server can serve: " +
                                       DescribePathFault(fault));
    return;
  }
  // A folder answers with its index page.
  std::string page = target->path;
  if (page.empty()) {
    page = "index.html";
  } else if (files.Examine(page).isFolder) {
    page += "/index.html";
  }
  findings.Error(InContent(page),
                 "the start page is missing (main is " + Quoted(config.main) + ")");
}

}  // namespace

std::string DescribePathFault(PathFault fault) {
  switch (fault) {
    case PathFault::None: return "";
    case PathFault::NotUtf8: return "the name is not UTF-8 text, so Windows has no name for it";
    case PathFault::ControlCharacter: return "the name holds a control character";
    case PathFault::ForbiddenCharacter:
      return "the name holds one of \\ : * ? \" < > |, which Windows forbids in names";
    case PathFault::EmptyName: return "the path has an empty name (a leading \"/\" or \"//\")";
    case PathFault::TrailingDotOrSpace:
      return "a name ends in a dot or a space (\".\" and \"..\" too), which Windows does not "
             "keep";
    case PathFault::DeviceName:
      return "Windows reserves the name for a device (CON, PRN, AUX, NUL, COM1, LPT1 and the "
             "like, with any extension)";
    case PathFault::NameTooLong: return "the name is longer than the 255 characters Windows allows";
    case PathFault::PathTooLong:
      return "the path is longer than the 32767 characters Windows allows";
  }
  return "";
}

void CheckBundleContent(AppFolder& folder, const AppConfig& config, Findings& findings) {
  const FileFacts content = folder.Examine(kContentFolder);
  if (!content.exists || !content.isFolder) {
    findings.Error(kContentFolder, std::string(content.exists ? "is a file" : "missing") +
                                       "; in the bundle content mode kiln.exe serves the app "
                                       "from the folder www");
    return;
  }
  CheckStartPage(folder, config, findings);
  const WalkBounds bounds;
  ContentNames names(findings, bounds);
  WalkFolder(folder, kContentFolder, bounds, names);
}

void CheckRemoteAddress(const AppConfig& config, Findings& findings) {
  const std::string scheme = UriScheme(config.main);
  const size_t host = scheme.size() + 3;
  const bool web = (scheme == "http" || scheme == "https") &&
                   config.main.compare(scheme.size(), 3, "://") == 0 &&
                   host < config.main.size() &&
                   std::string("/?#").find(config.main[host]) == std::string::npos;
  if (!web) {
    findings.Error("package.json", "main must be an absolute http or https address in the "
                                   "remote content mode, found " +
                                       Quoted(config.main));
  }
}

}  // namespace kiln
