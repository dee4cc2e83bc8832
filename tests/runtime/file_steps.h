// Steps that open files the way another program would, to show which kinds
// of access the files Kiln holds open still allow:
//   open-file {path, access}  opens path sharing every kind of access;
//                             access is "read", "write" or "delete", or
//                             "exclusive" (reads, shares nothing). The
//                             handle stays open until close-files.
//   close-files
#pragma once

#include <nlohmann/json.hpp>

namespace standin {

void OpenFileStep(const nlohmann::json& step);
void CloseFiles();

}  // namespace standin
