#include "user/resources/res_file.h"

#include "kernel/wide_string.h"
#include "user/resources/byte_reader.h"

namespace ce::ui {
namespace {

constexpr size_t kAlignment = 4;  // headers and data start on 32-bit boundaries
// DataSize, HeaderSize, two ordinals, DataVersion, MemoryFlags, LanguageId, Version, Characteristics.
constexpr size_t kSmallestHeader = 32;
constexpr size_t kHeaderTail = 16;  // DataVersion .. Characteristics
constexpr DWORD kMaxOrdinalDigits = 5;

std::string At(size_t offset, const char* what) {
    return "offset " + std::to_string(offset) + ": " + what;
}

bool ReadId(ByteReader& reader, ResourceId* id) {
    return reader.ReadNameOrOrdinal(&id->isOrdinal, &id->ordinal, &id->text);
}

// Reads the header at the reader's position; the data follows it.
bool ReadEntry(ByteReader& file, ResourceEntry* entry, std::string* error) {
    size_t start = file.offset();
    const BYTE* headerStart = file.here();
    size_t available = file.remaining();
    DWORD dataSize = 0, headerSize = 0;
    if (!file.Read(&dataSize) || !file.Read(&headerSize)) {
        *error = At(start, "truncated resource header");
        return false;
    }
    if (headerSize < kSmallestHeader || headerSize % kAlignment != 0) {
        *error = At(start, "impossible header size ") + std::to_string(headerSize);
        return false;
    }
    if (headerSize > available) {
        *error = At(start, "header runs past the end of the file");
        return false;
    }
    // The type and name are read inside the header's own bytes, so a missing terminator stops there.
    ByteReader header(headerStart, headerSize);
    header.Skip(2 * sizeof(DWORD));
    DWORD dataVersion = 0, version = 0, characteristics = 0;
    WORD memoryFlags = 0;
    if (!ReadId(header, &entry->type) || !ReadId(header, &entry->name) || !header.Align(kAlignment) ||
        header.remaining() < kHeaderTail) {
        *error = At(start, "type or name does not fit in its header");
        return false;
    }
    header.Read(&dataVersion);
    header.Read(&memoryFlags);
    header.Read(&entry->language);
    header.Read(&version);
    header.Read(&characteristics);
    file.Skip(headerSize - 2 * sizeof(DWORD));
    if (dataSize > file.remaining()) {
        *error = At(start, "data runs past the end of the file");
        return false;
    }
    entry->data = file.here();
    entry->size = dataSize;
    file.Skip(dataSize);
    // The last entry's padding may be left out.
    if (!file.Align(kAlignment)) {
        file.Skip(file.remaining());
    }
    return true;
}

bool IsLeadingMarker(const ResourceEntry& entry) {
    return entry.size == 0 && entry.type.isOrdinal && entry.type.ordinal == 0 && entry.name.isOrdinal &&
           entry.name.ordinal == 0;
}

}  // namespace

ResourceId ResourceId::FromArgument(LPCWSTR argument) {
    ResourceId id;
    if (IS_INTRESOURCE(argument)) {
        id.ordinal = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(argument));
        return id;
    }
    std::u16string_view text(argument, WideLength(argument));
    // "#123" names ordinal 123, as on the device.
    if (text.size() > 1 && text.size() <= 1 + kMaxOrdinalDigits && text[0] == u'#') {
        DWORD value = 0;
        bool digits = true;
        for (char16_t c : text.substr(1)) {
            digits = digits && c >= u'0' && c <= u'9';
            value = value * 10 + static_cast<DWORD>(c - u'0');
        }
        if (digits && value <= 0xFFFF) {
            id.ordinal = static_cast<WORD>(value);
            return id;
        }
    }
    id.isOrdinal = false;
    id.text = text;
    return id;
}

bool ResourceId::Matches(const ResourceId& other) const {
    if (isOrdinal != other.isOrdinal) {
        return false;
    }
    return isOrdinal ? ordinal == other.ordinal : EqualsIgnoreCase(text, other.text);
}

std::string ResourceId::Describe() const {
    return isOrdinal ? "#" + std::to_string(ordinal) : ToUtf8(text);
}

bool ReadResFile(const void* image, size_t size, std::vector<ResourceEntry>* entries, std::string* error) {
    entries->clear();
    if (image == nullptr || size == 0) {
        *error = "empty resource file";
        return false;
    }
    ByteReader file(image, size);
    bool first = true;
    while (file.remaining() > 0) {
        ResourceEntry entry;
        if (!ReadEntry(file, &entry, error)) {
            entries->clear();
            return false;
        }
        if (first && !IsLeadingMarker(entry)) {
            *error = At(0, "not a 32-bit resource file (no leading empty entry)");
            return false;
        }
        if (!first) {
            entries->push_back(std::move(entry));
        }
        first = false;
    }
    return true;
}

}  // namespace ce::ui
