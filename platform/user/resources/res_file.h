// The reader of a compiled resource file (.res): a sequence of resource headers, each followed by its data,
// both aligned on 32 bits. A type or name is either an ordinal (0xFFFF then the number) or a NUL-terminated
// UTF-16 string. The file opens with an empty entry that marks it as a 32-bit resource file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

namespace ce::ui {

struct ResourceId {
    bool isOrdinal = true;
    WORD ordinal = 0;
    std::u16string text;  // as the resource compiler wrote it (names and types are upper case there)

    // A FindResourceW argument: MAKEINTRESOURCE values and "#123" are ordinals, other strings are names.
    static ResourceId FromArgument(LPCWSTR argument);
    bool Matches(const ResourceId& other) const;  // strings compare case-insensitively
    std::string Describe() const;                 // for messages: "#5" or "CETERMICON"
};

struct ResourceEntry {
    ResourceId type;
    ResourceId name;
    WORD language = 0;
    const BYTE* data = nullptr;  // inside the file image, which the caller keeps alive
    DWORD size = 0;
};

// Reads every entry of a file image without copying the data. False with a message in *error (naming the
// offset of the fault) when the image is not a well-formed resource file; nothing is ever read outside it.
bool ReadResFile(const void* image, size_t size, std::vector<ResourceEntry>* entries, std::string* error);

}  // namespace ce::ui
