#include "page.h"

#include <cmath>
#include <map>
#include <memory>
#include <vector>

#include "base64.h"
#include "browser_process.h"
#include "page_script.h"
#include "player.h"
#include "scenario.h"
#include "transcript.h"

namespace standin {
namespace {

using json = nlohmann::json;

int ContextOf(const std::string& resourceType) {
  static const std::map<std::string, int> contexts = {
      {"Document", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT},
      {"Stylesheet", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_STYLESHEET},
      {"Image", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_IMAGE},
      {"Media", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_MEDIA},
      {"Font", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_FONT},
      {"Script", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_SCRIPT},
      {"XHR", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_XML_HTTP_REQUEST},
      {"Fetch", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_FETCH},
      {"TextTrack", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_TEXT_TRACK},
      {"EventSource", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_EVENT_SOURCE},
      {"WebSocket", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_WEBSOCKET},
      {"Manifest", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_MANIFEST},
      {"SignedExchange", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_SIGNED_EXCHANGE},
      {"Ping", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_PING},
      {"CSPViolationReport", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_CSP_VIOLATION_REPORT}};
  const auto found = contexts.find(resourceType);
  return found == contexts.end() ? COREWEBVIEW2_WEB_RESOURCE_CONTEXT_OTHER : found->second;
}

// WebView2 filters know only "*"; DevTools patterns also give "?" and "\"
// a meaning, so those are escaped.
std::string UrlPattern(const std::wstring& filter) {
  std::string pattern;
  for (const char c : Utf8(filter)) {
    if (c == '?' || c == '\\') pattern.push_back('\\');
    pattern.push_back(c);
  }
  return pattern;
}

std::string Text(const json& value, const char* key) {
  const auto member = value.find(key);
  return member != value.end() && member->is_string() ? member->get<std::string>() : std::string();
}

std::string ConsoleText(const json& args) {
  std::string text;
  for (const json& arg : args) {
    if (!text.empty()) text += ' ';
    const auto value = arg.find("value");
    if (value != arg.end()) {
      text += value->is_string() ? value->get<std::string>() : value->dump();
    } else {
      text += Text(arg, "description");
    }
  }
  return text;
}

// The page's permission names and the kinds WebView2 gives them.
int PermissionKindOf(const std::string& name) {
  static const std::map<std::string, int> kinds = {
      {"microphone", COREWEBVIEW2_PERMISSION_KIND_MICROPHONE},
      {"camera", COREWEBVIEW2_PERMISSION_KIND_CAMERA},
      {"geolocation", COREWEBVIEW2_PERMISSION_KIND_GEOLOCATION},
      {"notifications", COREWEBVIEW2_PERMISSION_KIND_NOTIFICATIONS},
      {"clipboard-read", COREWEBVIEW2_PERMISSION_KIND_CLIPBOARD_READ}};
  const auto found = kinds.find(name);
  return found == kinds.end() ? COREWEBVIEW2_PERMISSION_KIND_UNKNOWN_PERMISSION : found->second;
}

// How long Kiln's process waits at the end for the browser to save the
// profile and exit.
constexpr DWORD kBrowserExitMs = 10000;

}  // namespace

std::unique_ptr<PageDriver> NewPageDriver(const BrowserOptions& options) {
  return std::make_unique<Page>(options);
}

Page::~Page() { Close(); }

void Page::Open(HWND parent, std::function<void(bool ready)> ready) {
  // A frame counts as painted once the user can see it: until Kiln shows
  // the web view, clicks on its area reach Kiln's window, not the page.
  const auto input = [this](const char* method, json params) { Send(method, std::move(params)); };
  if (!view_.Create(parent, input, [] { NoteEvent("frame"); })) {
    Record({{"event", "error"}, {"text", "no view window"}});
    ready(false);
    return;
  }
  ready(true);
}

// A browser opens a DevTools port only as it starts, so it starts once Kiln
// has put the settings and navigates; until the page is ready, what Kiln
// asks of it waits in the queue.
void Page::StartBrowser() {
  browser_ = Browser::Starting;
  BrowserStart start;
  start.profileFolder = ProfileFolder(options_.userDataFolder);
  start.arguments = options_.arguments;
  start.devToolsPort = devToolsPort_ = webView() && webView()->settings().devToolsEnabled();
  std::string error;
  const std::uintptr_t connection = standin::StartBrowser(start, error);
  const bool connected =
      connection != kNoConnection &&
      devTools_.Connect(connection,
                        [this](const std::string& method, const json& params, const std::string& sessionId) {
                          OnEvent(method, params, sessionId);
                        },
                        error);
  if (!connected) return Fail("no browser: " + error);
  devTools_.Send("Target.setDiscoverTargets", {{"discover", true}});
  devTools_.Send("Target.createTarget", {{"url", "about:blank"}}, "",
                 [this](const json& result, const json* error) {
    if (error) return Fail("the browser refused a page: " + error->dump());
    targetId_ = Text(result, "targetId");
    devTools_.Send("Target.attachToTarget", {{"targetId", targetId_}, {"flatten", true}}, "",
                   [this](const json& result, const json* error) {
      if (error) return Fail("the browser refused to attach: " + error->dump());
      sessionId_ = Text(result, "sessionId");
      // One after the other: the page's agents take commands sent at once
      // after attaching less reliably than DevTools' own clients send them.
      auto steps = std::make_shared<std::vector<std::pair<std::string, json>>>(
          std::vector<std::pair<std::string, json>>{
              {"Page.enable", json::object()},
              {"Runtime.enable", json::object()},
              {"Runtime.addBinding", {{"name", kBindingName}}},
              {"Page.addScriptToEvaluateOnNewDocument", {{"source", kPageScript}}},
              {"Fetch.enable", FetchPatterns()},
              {"Page.startScreencast", {{"format", "jpeg"}, {"quality", 90}, {"everyNthFrame", 1}}}});
      RunInOrder(steps, 0);
    });
  });
}

void Page::RunInOrder(std::shared_ptr<std::vector<std::pair<std::string, json>>> steps, size_t index) {
  if (index == steps->size()) return OnReady();
  const std::string method = (*steps)[index].first;
  devTools_.Send(method, (*steps)[index].second, sessionId_,
                 [this, steps, index, method](const json&, const json* error) {
                   if (error) return Fail("the browser refused " + method + ": " + error->dump());
                   RunInOrder(steps, index + 1);
                 });
}

void Page::OnReady() {
  browser_ = Browser::Ready;
  std::vector<Command> queued = std::move(queued_);
  queued_.clear();
  for (Command& command : queued) Send(command.method, std::move(command.params), std::move(command.reply));
  if (devToolsPort_) ReportDevToolsAddress();
}

void Page::ReportDevToolsAddress() {
  const int port = DevToolsPort(ProfileFolder(options_.userDataFolder));
  if (port <= 0) {
    Record({{"event", "error"}, {"text", "the browser named no DevTools port"}});
    return;
  }
  // The inspector the browser serves itself: any desktop Chromium opens it,
  // and the browser takes its connection as one from its own origin.
  const std::string host = "127.0.0.1:" + std::to_string(port);
  const std::string address = "http://" + host + "/devtools/inspector.html?ws=" + host + "/devtools/page/" + targetId_;
  Record({{"event", "devtools"}, {"address", address}});
  Say("devtools: open " + address + " in a desktop Chromium to inspect the page");
}

// Without a browser the window would stay hidden for good: the app is
// asked to close, from the loop rather than inside a call of Kiln's. What
// fails after that follows from the first failure.
void Page::Fail(const std::string& why) {
  if (browser_ == Browser::Gone) return;
  Record({{"event", "error"}, {"text", why}});
  browser_ = Browser::Gone;
  queued_.clear();
  Post([] {
    if (WebView* webView = WebView::Current()) webView->RequestClose();
  });
}

void Page::Close() {
  PageDriver::Close();
  if (closing_) return;
  closing_ = true;
  queued_.clear();
  if (browser_ != Browser::NotStarted) {
    // Closing the browser saves the profile; Kiln's process must not end
    // before it has.
    devTools_.Send("Browser.close");
    if (!devTools_.WaitForBrowserExit(kBrowserExitMs)) {
      Record({{"event", "error"}, {"text", "the browser did not exit in time"}});
    }
  }
  devTools_.Close();
}

void Page::Send(const std::string& method, json params, DevTools::Reply reply) {
  if (!reply) {
    // A refused command is worth knowing about even when nobody waits for it.
    reply = [method](const json&, const json* error) {
      if (error) Record({{"event", "error"}, {"text", method + " refused: " + error->dump()}});
    };
  }
  if (browser_ == Browser::Ready) {
    devTools_.Send(method, std::move(params), sessionId_, std::move(reply));
  } else if (browser_ != Browser::Gone && !closing_) {
    queued_.push_back({method, std::move(params), std::move(reply)});
  }
}

void Page::SetBounds(const RECT& bounds) {
  bounds_ = bounds;
  view_.SetBounds(bounds);
  const LONG width = bounds.right - bounds.left;
  const LONG height = bounds.bottom - bounds.top;
  // Kiln gives a minimised window's web view no room. WebView2 then hides
  // the page (it counts the window as occluded), and so does the browser
  // with its own window minimised; the page keeps its last size.
  const bool minimized = width <= 0 || height <= 0;
  if (minimized != minimized_) {
    minimized_ = minimized;
    SetWindowState(minimized ? "minimized" : "normal");
  }
  if (minimized) return;
  // The bounds are in device pixels; the page is laid out in CSS pixels.
  const double scale = view_.scale();
  Send("Emulation.setDeviceMetricsOverride", {{"width", std::lround(width / scale)},
                                              {"height", std::lround(height / scale)},
                                              {"deviceScaleFactor", scale},
                                              {"mobile", false}});
}

void Page::SetWindowState(const char* state) {
  Send("Browser.getWindowForTarget", json::object(), [this, state](const json& result, const json* error) {
    if (error) return Record({{"event", "error"}, {"text", "no window for the page: " + error->dump()}});
    devTools_.Send("Browser.setWindowBounds",
                   {{"windowId", result.value("windowId", 0)}, {"bounds", {{"windowState", state}}}}, "",
                   [state](const json&, const json* error) {
      if (error) return Record({{"event", "error"}, {"text", std::string("window state refused: ") + error->dump()}});
      Record({{"event", "window-state"}, {"state", state}});
    });
  });
}

void Page::SetVisible(bool visible) { view_.SetVisible(visible); }

void Page::Focus() { view_.Focus(); }

void Page::Navigate(const std::wstring& uri) {
  if (browser_ == Browser::NotStarted) StartBrowser();
  Send("Page.navigate", {{"url", Utf8(uri)}});
}

void Page::PostJson(const std::string& text) {
  // The text travels as a string literal and is parsed in the page, so no
  // JSON text can run as script.
  CallInPage(kDeliverFunction, json(text).dump(-1, ' ', false, json::error_handler_t::replace));
}

// Calls a function the page script defined, if the document has it yet.
void Page::CallInPage(const char* function, const std::string& argument) {
  const std::string name = std::string("window.") + function;
  Send("Runtime.evaluate", {{"expression", name + " && " + name + "(" + argument + ")"}});
}

void Page::Evaluate(const std::string& expression, const std::string& label) {
  Send("Runtime.evaluate", {{"expression", expression}, {"returnByValue", true}, {"awaitPromise", true}},
       [label](const json& result, const json* error) {
         json line = {{"event", "evaluated"}, {"label", label}};
         const json thrown = result.value("exceptionDetails", json());
         if (error) {
           line["error"] = *error;
         } else if (!thrown.is_null()) {
           line["error"] = thrown.value("exception", json::object()).value("description", thrown.dump());
         } else {
           line["value"] = result.value("result", json::object()).value("value", json());
         }
         Record(line);
         NoteEvent("evaluated");
       });
}

void Page::FiltersChanged() { Send("Fetch.enable", FetchPatterns()); }

Page::json Page::FetchPatterns() const {
  json patterns = json::array();
  // Every document request, for NavigationStarting.
  patterns.push_back({{"urlPattern", "*"}, {"resourceType", "Document"}, {"requestStage", "Request"}});
  if (webView()) {
    for (const auto& filter : webView()->filters()) {
      patterns.push_back({{"urlPattern", UrlPattern(filter.first)}, {"requestStage", "Request"}});
    }
  }
  return {{"patterns", patterns}};
}

void Page::OnEvent(const std::string& method, const json& params, const std::string& sessionId) {
  if (method == "failed") {
    Record({{"event", "error"}, {"text", "DevTools message not understood: " + params.dump()}});
    return;
  }
  if (method == "closed") {
    if (!closing_) Fail("the browser closed the connection");
    return;
  }
  if (method == "Target.targetCreated") {
    const json info = params.value("targetInfo", json::object());
    // WebView2 opens no window of its own once Kiln handled the request,
    // and this runtime has nowhere to show one either.
    if (!targetId_.empty() && Text(info, "openerId") == targetId_ && Text(info, "type") == "page") {
      devTools_.Send("Target.closeTarget", {{"targetId", Text(info, "targetId")}});
      Record({{"event", "popup-closed"}, {"url", Text(info, "url")}});
    }
    return;
  }
  if (method == "Target.targetDestroyed") {
    if (!closing_ && Text(params, "targetId") == targetId_ && webView()) webView()->RequestClose();
    return;
  }
  if (sessionId.empty() || sessionId != sessionId_) return;
  // Frames come from the moment the screencast starts, before Kiln has the
  // controller; the browser sends none after one it has not seen
  // acknowledged, so each is taken whoever is attached.
  if (method == "Page.screencastFrame") return OnFrame(params);
  if (!webView()) return;

  if (method == "Fetch.requestPaused") {
    OnRequestPaused(params);
  } else if (method == "Runtime.bindingCalled") {
    OnBinding(params);
  } else if (method == "Page.domContentEventFired") {
    webView()->RaiseDOMContentLoaded();
  } else if (method == "Page.frameNavigated") {
    const json frame = params.value("frame", json::object());
    if (!frame.contains("parentId")) {
      webView()->SetSource(Wide(Text(frame, "url") + Text(frame, "urlFragment")));
    }
  } else if (method == "Page.navigatedWithinDocument") {
    if (Text(params, "frameId") == targetId_) webView()->SetSource(Wide(Text(params, "url")));
  } else if (method == "Page.windowOpen") {
    webView()->RequestNewWindow(Wide(Text(params, "url")), params.value("userGesture", false));
  } else if (method == "Page.javascriptDialogOpening") {
    Record({{"event", "dialog"}, {"type", Text(params, "type")}, {"message", Text(params, "message")}});
    Send("Page.handleJavaScriptDialog", {{"accept", true}});
  } else if (method == "Runtime.consoleAPICalled") {
    const std::string text = ConsoleText(params.value("args", json::array()));
    Record({{"event", "console"}, {"type", Text(params, "type")}, {"text", text}});
    Say("console." + Text(params, "type") + ": " + text);
  } else if (method == "Runtime.exceptionThrown") {
    const json details = params.value("exceptionDetails", json::object());
    const json exception = details.value("exception", json::object());
    const std::string text = Text(details, "text") + " " + Text(exception, "description");
    const std::string url = Text(details, "url");
    const int line = details.value("lineNumber", 0) + 1;
    const int column = details.value("columnNumber", 0) + 1;
    Record({{"event", "page-error"}, {"text", text}, {"url", url}, {"line", line}, {"column", column}});
    // The first line of the description: its stack would not fit one line.
    Say("uncaught: " + text.substr(0, text.find('\n')) + " (" + url + ":" + std::to_string(line) + ":" +
        std::to_string(column) + ")");
  }
}

void Page::OnRequestPaused(const json& params) {
  const std::string requestId = Text(params, "requestId");
  const json request = params.value("request", json::object());
  const std::wstring url = Wide(Text(request, "url") + Text(request, "urlFragment"));
  const std::string resourceType = Text(params, "resourceType");
  auto answer = [this, requestId](const ServedResponse* response) { Answer(requestId, response); };

  if (resourceType == "Document" && Text(params, "frameId") == targetId_) {
    switch (webView()->StartNavigation(url, false, answer)) {
      case NavigationOutcome::Cancelled:
        Send("Fetch.failRequest", {{"requestId", requestId}, {"errorReason", "Aborted"}});
        return;
      case NavigationOutcome::Unfiltered:
        Send("Fetch.continueRequest", {{"requestId", requestId}});
        return;
      case NavigationOutcome::Served:
        return;
    }
  }
  HeaderList headers;
  const json requestHeaders = request.value("headers", json::object());
  for (const auto& [name, value] : requestHeaders.items()) {
    if (value.is_string()) headers.emplace_back(Wide(name), Wide(value.get<std::string>()));
  }
  if (!webView()->ServeRequest(url, Wide(Text(request, "method")), std::move(headers),
                               ContextOf(resourceType), answer)) {
    Send("Fetch.continueRequest", {{"requestId", requestId}});
  }
}

void Page::Answer(const std::string& requestId, const ServedResponse* response) {
  if (!response) {
    Send("Fetch.continueRequest", {{"requestId", requestId}});
    return;
  }
  json headers = json::array();
  for (const auto& [name, value] : response->headers) {
    headers.push_back({{"name", Utf8(name)}, {"value", Utf8(value)}});
  }
  json params = {{"requestId", requestId},
                 {"responseCode", response->status},
                 {"responseHeaders", headers},
                 {"body", Base64Encode(response->body)}};
  if (!response->reason.empty()) params["responsePhrase"] = response->reason;
  Send("Fetch.fulfillRequest", std::move(params), [requestId](const json&, const json* error) {
    if (error) Record({{"event", "error"}, {"text", "fulfillRequest refused: " + error->dump()}});
  });
}

void Page::OnBinding(const json& params) {
  if (Text(params, "name") != kBindingName) return;
  const json report = json::parse(Text(params, "payload"), nullptr, false);
  if (!report.is_object()) return;
  const std::string kind = Text(report, "kind");
  Record({{"event", "page-report"}, {"report", report}});
  if (kind == "message") {
    const std::wstring source = Wide(Text(report, "source"));
    if (report.contains("string")) {
      const std::string text = Text(report, "string");
      webView()->ReceiveMessage(source, Wide(json(text).dump(-1, ' ', false, json::error_handler_t::replace)),
                                Wide(text));
    } else {
      webView()->ReceiveMessage(source, Wide(Text(report, "json")), std::nullopt);
    }
  } else if (kind == "title") {
    webView()->ChangeTitle(Wide(Text(report, "title")));
  } else if (kind == "fullscreen") {
    webView()->ChangeFullscreenElement(report.value("on", false));
  } else if (kind == "close") {
    webView()->RequestClose();
  } else if (kind == "permission") {
    OnPermissionAsked(report);
  }
}

void Page::OnPermissionAsked(const json& report) {
  if (!report.value("permissions", json()).is_array()) return;
  DecideInTurn(std::make_shared<const json>(report), 0);
}

// Raises PermissionRequested for one permission after the other, applies
// each answer to the browser, and lets the page's call go on after the last.
void Page::DecideInTurn(std::shared_ptr<const json> report, size_t index) {
  const json& names = (*report)["permissions"];
  if (index == names.size() || !webView()) {
    CallInPage(kPermissionSettledFunction, report->value("id", json(0)).dump());
    return;
  }
  const std::string name = names[index].is_string() ? names[index].get<std::string>() : std::string();
  webView()->RequestPermission(
      Wide(Text(*report, "source")), PermissionKindOf(name), report->value("user", false),
      [this, report, index, name](int state) {
        const char* setting = state == COREWEBVIEW2_PERMISSION_STATE_ALLOW  ? "granted"
                              : state == COREWEBVIEW2_PERMISSION_STATE_DENY ? "denied"
                                                                             : nullptr;
        // Left at the default, the browser decides by itself.
        if (!setting) return DecideInTurn(report, index + 1);
        devTools_.Send("Browser.setPermission",
                       {{"permission", {{"name", name}}},
                        {"setting", setting},
                        {"origin", Text(*report, "origin")}},
                       "", [this, report, index, name](const json&, const json* error) {
                         if (error) {
                           Record({{"event", "error"},
                                   {"text", "setPermission " + name + " refused: " + error->dump()}});
                         }
                         DecideInTurn(report, index + 1);
                       });
      });
}

void Page::OnFrame(const json& params) {
  // Acknowledged once painted: frames come as fast as the window takes them,
  // and each costs Kiln's thread its decoding and painting.
  const auto acknowledge = [this, sessionId = params.value("sessionId", 0)] {
    Send("Page.screencastFrameAck", {{"sessionId", sessionId}});
  };
  const bool shown = view_.ShowFrame(Base64Decode(Text(params, "data")), acknowledge);
  if (!shown) acknowledge();
  if (frames_++ == 0 || !shown) {
    const json metadata = params.value("metadata", json::object());
    Record({{"event", shown ? "frame" : "error"},
            {"text", shown ? "first frame painted" : "a frame could not be decoded"},
            {"width", metadata.value("deviceWidth", 0.0)},
            {"height", metadata.value("deviceHeight", 0.0)}});
  }
}


}  // namespace standin
