// A bounds-checked cursor over little-endian resource bytes. Every read answers false instead of touching a
// byte outside the block, so the parsers built on it refuse truncated or garbage input without undefined
// behaviour. Alignment is relative to the block's start, as resource layouts define it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include <windows.h>

namespace ce::ui {

class ByteReader {
  public:
    ByteReader(const void* data, size_t size) : data_(static_cast<const BYTE*>(data)), size_(size) {}

    size_t offset() const { return offset_; }
    size_t remaining() const { return size_ - offset_; }
    const BYTE* here() const { return data_ + offset_; }

    bool Skip(size_t count) {
        if (count > remaining()) {
            return false;
        }
        offset_ += count;
        return true;
    }

    // Moves to the next multiple of `alignment` (a power of two); false when that lies past the end.
    bool Align(size_t alignment) {
        size_t aligned = (offset_ + alignment - 1) & ~(alignment - 1);
        return Skip(aligned - offset_);
    }

    template <class T>
    bool Read(T* value) {
        if (sizeof(T) > remaining()) {
            return false;
        }
        std::memcpy(value, data_ + offset_, sizeof(T));
        offset_ += sizeof(T);
        return true;
    }

    bool Peek(WORD* value) const {
        if (sizeof(WORD) > remaining()) {
            return false;
        }
        std::memcpy(value, data_ + offset_, sizeof(WORD));
        return true;
    }

    // A NUL-terminated UTF-16 string; false when the terminator is not inside the block.
    bool ReadString(std::u16string* text) {
        text->clear();
        for (;;) {
            WORD unit;
            if (!Read(&unit)) {
                return false;
            }
            if (unit == 0) {
                return true;
            }
            text->push_back(static_cast<char16_t>(unit));
        }
    }

    // A name-or-ordinal field: 0xFFFF then the ordinal, or a NUL-terminated string.
    bool ReadNameOrOrdinal(bool* isOrdinal, WORD* ordinal, std::u16string* text) {
        WORD first;
        if (!Peek(&first)) {
            return false;
        }
        text->clear();
        if (first == kOrdinalMark) {
            *isOrdinal = true;
            return Skip(sizeof(WORD)) && Read(ordinal);
        }
        *isOrdinal = false;
        *ordinal = 0;
        return ReadString(text);
    }

    static constexpr WORD kOrdinalMark = 0xFFFF;

  private:
    const BYTE* data_;
    size_t size_;
    size_t offset_ = 0;
};

}  // namespace ce::ui
