// The yes-or-no question before a command replaces or deletes something.
#pragma once

#include <istream>
#include <ostream>
#include <string>

enum class Answer { Yes, No, Refused };

// Asks question on out and reads lines from in until one says yes or no (y, yes, n, no, any case); the
// end of input is a no. Without a person at in (interactive false) nobody is asked: Refused.
Answer Confirm(const std::string& question, bool interactive, std::istream& in, std::ostream& out);

// Whether standard input is a terminal, so that a person can answer.
bool StandardInputIsTerminal();
