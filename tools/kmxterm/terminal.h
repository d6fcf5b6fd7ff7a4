// The person's terminal as the interactive session sees it: keys in, text out, a size. The real one is
// in terminal_posix.cpp; tests give their own.
#pragma once

#include <string>
#include <string_view>

class Terminal {
  public:
    virtual ~Terminal() = default;
    // Waits up to timeoutMs and appends the keys that came to *keys. False once input has ended for good.
    virtual bool ReadKeys(std::string* keys, int timeoutMs) = 0;
    virtual void Write(std::string_view text) = 0;
    virtual int Rows() = 0;
    virtual int Columns() = 0;
};
