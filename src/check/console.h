// The checker's command line and standard output, one implementation per
// platform (console_posix.cc, console_win.cc).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kiln {

// The arguments after the program's name, UTF-8.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Writes UTF-8 text to standard output: a console shows it as written, and
// a file or pipe receives these bytes.
void WriteOutput(std::string_view text);

}  // namespace kiln
