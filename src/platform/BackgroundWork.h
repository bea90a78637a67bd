#pragma once

#include <functional>

// Runs `work` on a thread of its own while this thread's event loop keeps
// turning, so that the window paints, shows progress and answers clicks; it
// returns when the work is done. The work must not touch widgets. Whatever
// the window allows meanwhile is for the caller to rule (the busy rules).
void runWhileEventsTurn(const std::function<void()>& work);
