// Builds resource file images (and the fields of other resources) in memory for tests: the leading empty
// entry, then entries with ordinal or string types and names, each header and each data block padded to 32
// bits.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <windows.h>

// Little-endian writers of the fields of resource images.
inline void PutWord(std::vector<BYTE>& out, WORD value) {
    out.push_back(static_cast<BYTE>(value));
    out.push_back(static_cast<BYTE>(value >> 8));
}

inline void PutDword(std::vector<BYTE>& out, DWORD value) {
    PutWord(out, static_cast<WORD>(value));
    PutWord(out, static_cast<WORD>(value >> 16));
}

class ResImageBuilder {
  public:
    struct Id {
        bool ordinal;
        WORD value;
        std::u16string text;
    };
    static Id Ordinal(WORD value) { return Id{true, value, {}}; }
    static Id Text(std::u16string text) { return Id{false, 0, std::move(text)}; }

    ResImageBuilder() { Add(Ordinal(0), Ordinal(0), {}); }

    void Add(const Id& type, const Id& name, const std::vector<BYTE>& data) {
        std::vector<BYTE> header;
        PutId(header, type);
        PutId(header, name);
        Pad(header);
        PutDword(header, 0);      // DataVersion
        PutWord(header, 0x1030);  // MemoryFlags: moveable, pure, discardable
        PutWord(header, 0x0409);  // LanguageId
        PutDword(header, 0);      // Version
        PutDword(header, 0);      // Characteristics
        PutDword(image_, static_cast<DWORD>(data.size()));
        PutDword(image_, static_cast<DWORD>(header.size() + 2 * sizeof(DWORD)));
        image_.insert(image_.end(), header.begin(), header.end());
        image_.insert(image_.end(), data.begin(), data.end());
        // The file may end anywhere in the last entry's padding.
        ends_.push_back(image_.size());
        while (image_.size() % sizeof(DWORD) != 0) {
            image_.push_back(0);
            ends_.push_back(image_.size());
        }
    }

    const std::vector<BYTE>& Image() const { return image_; }
    // Lengths at which an image is complete: after each entry's data, up to the end of its padding.
    const std::vector<size_t>& EntryEnds() const { return ends_; }

  private:
    static void PutId(std::vector<BYTE>& out, const Id& id) {
        if (id.ordinal) {
            PutWord(out, 0xFFFF);
            PutWord(out, id.value);
            return;
        }
        for (char16_t c : id.text) {
            PutWord(out, c);
        }
        PutWord(out, 0);
    }
    static void Pad(std::vector<BYTE>& out) {
        while (out.size() % sizeof(DWORD) != 0) {
            out.push_back(0);
        }
    }

    std::vector<BYTE> image_;
    std::vector<size_t> ends_;
};
