// kmxlink's messages: one whole line each, also when threads speak at once. Events of the bridge (ready,
// clients and programs that come and go, refused settings) go to standard output, errors to standard error.
#pragma once

#include <string>

// "kmxlink: <text>" on standard output, flushed at once so that a script waiting for the ready line sees it.
void Say(const std::string& text);
// "kmxlink: <text>" on standard error.
void SayError(const std::string& text);
