#include "kiln_callbacks.h"

#include <string>

#include "transcript.h"

namespace standin {
namespace {

const char* g_callback = nullptr;  // the innermost of Kiln's handlers running
bool g_reported = false;           // once per callback is enough
HHOOK g_hook = nullptr;

LRESULT CALLBACK OnMessageTaken(int code, WPARAM removal, LPARAM message) {
  if (code == HC_ACTION && removal == PM_REMOVE && g_callback && !g_reported) {
    g_reported = true;
    Record({{"event", "error"},
            {"text", std::string("a message was taken off the queue inside Kiln's ") + g_callback +
                         " handler: a nested message loop"}});
  }
  return CallNextHookEx(g_hook, code, removal, message);
}

}  // namespace

void WatchForNestedLoops() {
  if (!g_hook) g_hook = SetWindowsHookExW(WH_GETMESSAGE, OnMessageTaken, nullptr, GetCurrentThreadId());
}

InsideKilnCallback::InsideKilnCallback(const char* name) : outer_(g_callback) {
  g_callback = name;
  if (!outer_) g_reported = false;
}

InsideKilnCallback::~InsideKilnCallback() { g_callback = outer_; }

}  // namespace standin
