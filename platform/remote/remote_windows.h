// The window-directory backend of a program joined to a device host: its own top-level windows published
// for the other programs, their windows found and asked for, and the listener that takes their requests for
// its own.
//
// Publishing is a short call on the publishing thread's connection; the host never waits for anyone while
// serving it. Before the first window of a session is published, the program opens a listener
// connection with a thread of its own, on which the host sends the requests of other programs
// (WindowShow, WindowForeground); the thread applies them with ApplyWindowRequest, so the program's UI
// threads never read from the host. When the host ends the listener (it died, or the device stopped),
// the thread waits for the next host, without starting one, and publishes the program's windows there. A
// class name or title longer than kMaxWindowTextChars is published as null (found only by lookups that
// leave it out).
#pragma once

#include "user/sharing/directory_backend.h"

namespace ce::remote {

extern const ui::DirectoryBackend kRemoteDirectory;

}  // namespace ce::remote
