#include "wire/document_wire.h"

namespace ce::wire {
namespace {

// Longer than any key path or value name the registry takes; the registry refuses what is over its limits.
constexpr size_t kMaxFieldChars = kMaxCallDataBytes / sizeof(char16_t);

}  // namespace

using registry::regfile::Document;
using registry::regfile::Section;
using registry::regfile::ValueLine;

void PutDocument(Writer& request, const Document& document) {
    request.U32(static_cast<uint32_t>(document.sections.size()));
    for (const Section& section : document.sections) {
        request.U32(static_cast<uint32_t>(section.line));
        request.String(std::u16string_view(section.path));
        request.U32(section.remove ? 1 : 0);
        request.U32(static_cast<uint32_t>(section.values.size()));
        for (const ValueLine& value : section.values) {
            request.U32(static_cast<uint32_t>(value.line));
            request.String(std::u16string_view(value.name));
            request.U32(value.remove ? 1 : 0);
            request.U32(value.type);
            request.Bytes(value.data.data(), static_cast<uint32_t>(value.data.size()));
        }
    }
}

bool TakeDocument(Reader& request, Document* document) {
    // Counts are only believed as far as fields follow them: every step stops at the first missing one.
    bool isNull = false;
    for (uint32_t sections = request.U32(); request.ok() && sections > 0; --sections) {
        Section section;
        section.line = static_cast<int>(request.U32());
        section.path = request.String(&isNull, kMaxFieldChars);
        section.remove = request.U32() != 0;
        for (uint32_t values = request.U32(); request.ok() && values > 0; --values) {
            ValueLine value;
            value.line = static_cast<int>(request.U32());
            value.name = request.String(&isNull, kMaxFieldChars);
            value.remove = request.U32() != 0;
            value.type = request.U32();
            const std::string_view data = request.Bytes();
            value.data.assign(data.begin(), data.end());
            if (request.ok()) {
                section.values.push_back(std::move(value));
            }
        }
        if (request.ok()) {
            document->sections.push_back(std::move(section));
        }
    }
    return request.Complete();
}

}  // namespace ce::wire
