// kmxterm's side of the operating system: the terminal in raw mode with its restoration on every way out,
// and standard input and output as byte streams. The only POSIX code of the program.
#pragma once

#include <string>

#include "byte_stream.h"
#include "terminal.h"

// Both standard input and output are terminals: a person is there.
bool StandardStreamsAreTerminals();

// Standard input and output in raw mode while it lives; restored when it goes, and also when the program
// is ended by SIGINT, SIGTERM, SIGHUP or SIGQUIT or crashes (the signal then takes its usual course).
class RawTerminal : public Terminal {
  public:
    RawTerminal() = default;
    ~RawTerminal() override;
    RawTerminal(const RawTerminal&) = delete;
    RawTerminal& operator=(const RawTerminal&) = delete;

    // False, with *error, when the terminal cannot be put in raw mode.
    bool Enter(std::string* error);

    bool ReadKeys(std::string* keys, int timeoutMs) override;
    void Write(std::string_view text) override;
    int Rows() override;
    int Columns() override;
};

// Standard input as it comes, in the pieces the pipe delivers.
class StandardInput : public ByteSource {
  public:
    ReadStatus Read(void* buffer, size_t size, int timeoutMs, size_t* got, std::string* error) override;
};

// Standard output, unbuffered; a closed reader is an error, not a signal.
class StandardOutput : public ByteSink {
  public:
    StandardOutput();
    bool Write(const void* data, size_t size, std::string* error) override;
};
