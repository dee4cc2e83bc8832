// Runs the stand-in's work on Kiln's UI thread, one action per message, in
// the order it was asked for, like a browser raising events from its loop.
#pragma once

#include <windows.h>

#include <functional>

namespace standin {

// Creates the hidden message window on the calling (UI) thread.
void StartPlayer();

// Queues an action to run after those already queued, delayMs after the one
// before it has run.
void Post(std::function<void()> action, UINT delayMs = 0);

}  // namespace standin
