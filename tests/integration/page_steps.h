// Scenario steps in which the stand-in plays the page talking to the host,
// the test extensions that answer it, and readers for what came back, shared
// by the message bridge tests.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "stand_in.h"

namespace kiln::testing {

inline json Step(const std::string& action, json fields = json::object()) {
  fields["do"] = action;
  return fields;
}

// The page posts the text of message as a string, the way the protocol asks.
inline json Post(const json& message) { return Step("message", {{"string", message.dump()}}); }

// The page posts raw text (for example cut short) as a string.
inline json PostText(const std::string& text) { return Step("message", {{"string", text}}); }

// A page at another address posts message.
inline json PostFrom(const json& source, const json& message) {
  return Step("message", {{"source", source}, {"string", message.dump()}});
}

// An "extension-message" with the given params and asyncId (none when null).
inline json ExtensionMessage(const std::string& componentId, const std::string& messageId,
                             const json& params = json::array(), const json& asyncId = nullptr) {
  json message = {{"type", "extension-message"},
                  {"componentId", componentId},
                  {"messageId", messageId},
                  {"params", params}};
  if (!asyncId.is_null()) message["asyncId"] = asyncId;
  return message;
}

// A test extension built from tests/extensions, e.g. "recorder.ext.dll".
inline fs::path TestExtension(const std::string& file) {
  return WinBuildDir() / "tests" / "extensions" / file;
}

// Copies the recorder extension into the app as file ("<tag>.ext.dll"),
// configured by config in "<tag>.ext.json".
inline void AddRecorderExtension(const TestApp& app, const std::string& file, const json& config) {
  app.CopyFrom(TestExtension("recorder.ext.dll"), file);
  app.WriteFile(file.substr(0, file.size() - 4) + ".json", config.dump());
}

// A missing snapshot ends the test: callers read its keys from a const json,
// where an absent key is undefined behaviour, not an error.
inline json Snapshot(const StandInRun& run, const std::string& label) {
  for (const json& line : run.Events("snapshot")) {
    if (line["label"] == label) return line;
  }
  throw std::runtime_error("no snapshot " + label);
}

// The JSON texts the host posted to the page, in order.
inline std::vector<std::string> PostedTexts(const StandInRun& run) {
  std::vector<std::string> texts;
  for (const json& line : run.Events("post-json")) {
    EXPECT_EQ(line["valid"], true) << line;
    texts.push_back(line["json"]);
  }
  return texts;
}

// For each "message" step in order: how many JSON messages the host posted
// while it was handled.
inline std::vector<int> AnswersPerMessage(const StandInRun& run) {
  std::vector<int> answers;
  bool inMessage = false;
  for (const json& line : run.transcript) {
    const std::string event = line.value("event", "");
    if (event == "step") {
      inMessage = line["do"] == "message";
      if (inMessage) answers.push_back(0);
    } else if (event == "post-json" && inMessage) {
      ++answers.back();
    }
  }
  return answers;
}

}  // namespace kiln::testing
