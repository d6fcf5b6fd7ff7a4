// Where relayed bytes come from and go to, apart from the port: standard input and output for a program,
// memory for a test.
#pragma once

#include <cstddef>
#include <string>

enum class ReadStatus { Data, Timeout, End, Failed };

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Waits up to timeoutMs for bytes; Data with *got > 0, or why not. On Failed, *error says why.
    virtual ReadStatus Read(void* buffer, size_t size, int timeoutMs, size_t* got, std::string* error) = 0;
};

class ByteSink {
  public:
    virtual ~ByteSink() = default;
    // All of it, or false with *error saying why.
    virtual bool Write(const void* data, size_t size, std::string* error) = 0;
};
