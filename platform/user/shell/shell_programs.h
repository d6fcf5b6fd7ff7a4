// The host programs the shell hands documents to: found in PATH, and started either detached (a desktop
// opener, which shows the document in a window of its own) or in the process's terminal while the caller
// waits (a text browser).
#pragma once

#include <string>

namespace ce::ui {

// The program to run: a name with a slash as given when it may be run, else the first one of that name in
// PATH that may be run. Empty when there is none.
std::string FindProgram(const std::string& name);

// Starts `program argument` in a session of its own, with no terminal, and does not wait for it. False when
// it could not be started.
bool LaunchDetached(const std::string& program, const std::string& argument);

// Runs `program argument` on the process's standard input, output and error and waits until it ends. The
// terminal's interrupt and quit keys are the program's meanwhile, not the caller's. False when it could not
// be started.
bool RunInTerminal(const std::string& program, const std::string& argument);

}  // namespace ce::ui
