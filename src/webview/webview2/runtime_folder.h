// Path work of the loader, done as plain text so it can be checked anywhere:
// where a runtime folder is, what it is called and where its client DLL lies.
#pragma once

#include <string>
#include <string_view>

namespace kiln {

// A fixed runtime folder as the app names it. "X:\..." and UNC paths ("\\...")
// stand as they are; everything else is taken relative to the executable's
// folder, never to the current directory, which the user controls.
std::u16string ResolveBrowserFolder(std::u16string_view folder, std::u16string_view exeFolder);

// The last component of a runtime folder ("131.0.2903.146" for
// "C:\...\Application\131.0.2903.146"), ignoring trailing separators.
std::u16string_view RuntimeFolderName(std::u16string_view folder);

// <folder>\EBWebView\<arch>\EmbeddedBrowserWebView.dll with backslashes only.
std::u16string ClientDllPath(std::u16string_view runtimeFolder, std::u16string_view arch);

}  // namespace kiln
