// The .reg text format ("Windows Registry Editor Version 5.00", and "REGEDIT4" for reading), read and
// written apart from any live registry: a document is a list of key sections in file order, each with its
// value lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

namespace ce::registry::regfile {

struct ValueLine {
    int line = 0;         // where it was read; 0 for a line made in memory
    std::u16string name;  // empty for the default value ("@")
    bool remove = false;  // "name"=-
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct Section {
    int line = 0;
    std::u16string path;  // full path, starting with the root's name
    bool remove = false;  // [-path]
    std::vector<ValueLine> values;
};

struct Document {
    std::vector<Section> sections;
};

struct ParseError {
    int line = 0;
    std::string message;
};

// Reads UTF-8 (with or without a byte order mark) or UTF-16LE with its byte order mark, and the older
// "REGEDIT4" files, whose text and whose strings in hex(1), hex(2) and hex(7) data are in the ANSI code page.
// A text holding nothing but blanks and comments is an empty document.
bool Parse(std::string_view bytes, Document* document, ParseError* error);

// Writes UTF-8 that Parse reads back to the same bytes of every value.
std::string Write(const Document& document);

}  // namespace ce::registry::regfile
