// The transcript: one JSON object per line, each with "event" and "t" (ms
// since the process started), written to the file KILN_TEST_TRANSCRIPT names.
#pragma once

#include "../common/json_rect_win.h"

#include <windows.h>

#include <string>

#include <nlohmann/json.hpp>

namespace standin {

using nlohmann::json;

void OpenTranscript();
void Record(json line);

// One line for whoever watches the run as it happens (what the page prints,
// say), appended to the file KILN_TEST_CONSOLE names; line breaks in it are
// written as \n so that each call stays one line.
void Say(const std::string& line);

// Text for the transcript. Strings from Kiln may hold anything, so invalid
// UTF-16 is replaced rather than dropped.
std::string Utf8(const wchar_t* text);
std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& text);
// A rectangle as [left, top, right, bottom].
using kiln::testing::JsonRect;

// A path from the environment; Unix paths are reached through drive Z:.
std::wstring PathFromEnvironment(const wchar_t* name);

}  // namespace standin
