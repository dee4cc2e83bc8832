// The scenario a test gives the stand-in (a JSON file named by
// KILN_TEST_SCENARIO):
//
//   {
//     "environment": "ok",   // or "error", "null", "call-fails"
//     "controller": "ok",    // the same four outcomes
//     "webView2": true,      // false: the web view offers no ICoreWebView2_2
//     "steps": [ {"do": "dom-content-loaded"}, {"do": "snapshot", "label": "shown"},
//                {"do": "end"} ]
//   }
//
// Steps run in order on the UI thread once the controller has been handed to
// Kiln, each after the work the one before it caused (navigations included):
//   wait {ms}                          the next step runs ms later
//   navigate {uri, userInitiated}      the page navigates: NavigationStarting, then
//                                      the document request when filtered
//   request {uri, method, headers, context}  a sub-resource request; headers is an
//                                      object or a list of [name, value] pairs
//   dom-content-loaded
//   title {title}                      null makes get_DocumentTitle fail
//   message {source, json | jsonText | string}  the page posts a message; source
//                                      defaults to the current address, null fails
//   burst {count, source, json | jsonText | string, expect, timeoutMs}  the page
//                                      posts the message count times in a row and
//                                      waits for count answers; one "burst" line
//                                      records the answers counted, those that
//                                      differ from expect, and the time from the
//                                      first message to the last answer
//   fullscreen {on}
//   close-request                      window.close()
//   new-window {uri, userInitiated}    null makes get_Uri fail
//   permission {kind, uri, userInitiated}
//   snapshot {label}                   the main window as the user sees it
//   resize {width, height}             the main window's client size, in pixels
//   move {x, y}                        the main window's outer top-left corner
//   minimize, restore                  the user minimises the main window, or
//                                      restores it
//   activate                           another window takes activation, then the
//                                      main window gets it back (as after Alt+Tab)
//   end                                the user closes the main window
//   await {event, count}               waits until the web view has raised the
//                                      event ("dom-content-loaded", "message",
//                                      "frame": a frame painted where the user
//                                      sees it, "evaluated", "post-json": Kiln
//                                      posted JSON to the page)
//                                      count times
//   await-file {path}                  waits until a file exists at path (made
//                                      by another program the test started)
//   evaluate {expression, label}       a real browser runs the expression in the
//                                      page, awaiting a promise; an "evaluated"
//                                      line records its value under the label
//   click {x, y}                       a left click at the main window's client
//                                      point, on whatever child window is there
//   open-file, close-files             another program opens files (file_steps.h)
//   requests, ranges                   many requests at once (bulk_requests.h)
// "atExit" lists steps that run at once when Kiln releases the environment,
// the last WebView2 object it lets go (only steps that need no web view).
// Without a scenario file the page just loads: a real browser's by itself,
// the scripted page raising DOMContentLoaded once.
#pragma once

#include <windows.h>

#include <string>

#include <nlohmann/json.hpp>

namespace standin {

struct Scenario {
  std::string environment = "ok";
  std::string controller = "ok";
  bool webView2 = true;
  nlohmann::json steps = nlohmann::json::array();
  nlohmann::json atExit = nlohmann::json::array();
};

void LoadScenario();
const Scenario& TheScenario();

void SetParentWindow(HWND window);

// Plays the steps, from the first.
void StartSteps(bool pageLoadsByItself);
// Plays the atExit steps, then closes the files they opened.
void PlayExitSteps();

// Tells the steps that the web view raised an event an await step may wait for.
void NoteEvent(const std::string& event);

}  // namespace standin
