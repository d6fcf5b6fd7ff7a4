// Per-thread message queues: posted messages, messages sent from other threads, the quit flag.
#pragma once

#include "user/front_end/front_end.h"
#include "user/windows/window.h"

namespace ce::ui {

// Posts a message to the window's thread with the modifier keys that were down when the input happened.
bool PostToWindowThread(const WindowPtr& window, UINT msg, WPARAM wParam, LPARAM lParam, UINT modifiers);

// Turns one input event into messages for the windows it concerns (input.cpp).
void DeliverInput(const InputEvent& event);

bool ThreadHasWindows(DWORD threadId);

}  // namespace ce::ui
