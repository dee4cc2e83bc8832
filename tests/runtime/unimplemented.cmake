# Writes unimplemented.h from Kiln's WebView2 declarations: for each
# interface, Unimplemented<Interface>, whose every method (inherited ones
# included) answers E_NOTIMPL. The stand-in's objects derive from these and
# override what Kiln calls, so anything else Kiln might call fails visibly
# instead of doing nothing, and the slots follow the declarations wherever
# they go. Relies on the declarations' own rules: one method per line, each
# "virtual HRESULT STDMETHODCALLTYPE ... = 0;", each interface closed by "};".
#   cmake -DDECLARATIONS=webview2.h -DOUTPUT=unimplemented.h -P unimplemented.cmake

file(READ "${DECLARATIONS}" text)
# One list entry per line, with the semicolons kept out of list splitting.
string(REPLACE ";" "<semicolon>" text "${text}")
string(REPLACE "\n" ";" lines "${text}")

set(classes "")
set(interface "")
foreach(line IN LISTS lines)
  if(line MATCHES "^struct ([A-Za-z0-9_]+) : public ([A-Za-z0-9_]+) {$")
    set(interface "${CMAKE_MATCH_1}")
    set(methods_${interface} "${methods_${CMAKE_MATCH_2}}")
  elseif(interface AND line MATCHES "^  virtual (HRESULT STDMETHODCALLTYPE .*) = 0<semicolon>$")
    string(APPEND methods_${interface}
           "  ${CMAKE_MATCH_1} override { return E_NOTIMPL<semicolon> }\n")
  elseif(interface AND line STREQUAL "}<semicolon>")
    string(APPEND classes "template <>\nclass Unimplemented<${interface}> : public ${interface} {\n"
                          " public:\n${methods_${interface}}}<semicolon>\n\n")
    set(interface "")
  endif()
endforeach()
if(classes STREQUAL "")
  message(FATAL_ERROR "no interfaces found in ${DECLARATIONS}")
endif()

set(header [=[
// Generated from webview/webview2/webview2.h by tests/runtime/unimplemented.cmake.
#pragma once

#include "webview/webview2/webview2.h"

// The parameters keep their names from the declarations and go unused.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"

namespace standin {

template <class Interface>
class Unimplemented<semicolon>

]=])
string(APPEND header "${classes}}  // namespace standin\n\n#pragma GCC diagnostic pop\n")
string(REPLACE "<semicolon>" ";" header "${header}")
file(WRITE "${OUTPUT}.new" "${header}")
# Rewritten only when it changed, so that nothing is rebuilt for nothing.
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
