#include "user/resources/dialog_template.h"

#include <algorithm>

#include "user/resources/byte_reader.h"

namespace ce::ui {
namespace {

constexpr WORD kExtendedVersion = 1;
constexpr WORD kExtendedSignature = 0xFFFF;
constexpr DWORD kSetFontStyle = 0x40;  // DS_SETFONT; DS_SHELLFONT includes it
constexpr size_t kItemAlignment = 4;
// The smallest classic item: style, extended style, four coordinates, id, two empty names, data size.
constexpr size_t kSmallestItem = 24;

bool ReadName(ByteReader& reader, TemplateName* name) {
    bool isOrdinal = false;
    return reader.ReadNameOrOrdinal(&isOrdinal, &name->ordinal, &name->text);
}

bool ReadRect(ByteReader& reader, short* x, short* y, short* cx, short* cy) {
    return reader.Read(x) && reader.Read(y) && reader.Read(cx) && reader.Read(cy);
}

// The creation data of an item: a byte count, then that many bytes.
bool ReadCreationData(ByteReader& reader, std::vector<BYTE>* data) {
    WORD size = 0;
    if (!reader.Read(&size) || size > reader.remaining()) {
        return false;
    }
    data->assign(reader.here(), reader.here() + size);
    return reader.Skip(size);
}

bool ReadClassicItem(ByteReader& reader, DialogItemTemplate* item) {
    WORD id = 0;
    if (!reader.Read(&item->style) || !reader.Read(&item->exStyle) ||
        !ReadRect(reader, &item->x, &item->y, &item->cx, &item->cy) || !reader.Read(&id)) {
        return false;
    }
    item->id = id;
    return ReadName(reader, &item->windowClass) && ReadName(reader, &item->title) &&
           ReadCreationData(reader, &item->creationData);
}

bool ReadExtendedItem(ByteReader& reader, DialogItemTemplate* item) {
    return reader.Read(&item->helpId) && reader.Read(&item->exStyle) && reader.Read(&item->style) &&
           ReadRect(reader, &item->x, &item->y, &item->cx, &item->cy) && reader.Read(&item->id) &&
           ReadName(reader, &item->windowClass) && ReadName(reader, &item->title) &&
           ReadCreationData(reader, &item->creationData);
}

bool ReadHeader(ByteReader& reader, DialogTemplate* dialog, WORD* count) {
    if (dialog->extended) {
        WORD version = 0, signature = 0;
        if (!reader.Read(&version) || !reader.Read(&signature) || !reader.Read(&dialog->helpId) ||
            !reader.Read(&dialog->exStyle) || !reader.Read(&dialog->style)) {
            return false;
        }
    } else if (!reader.Read(&dialog->style) || !reader.Read(&dialog->exStyle)) {
        return false;
    }
    if (!reader.Read(count) || !ReadRect(reader, &dialog->x, &dialog->y, &dialog->cx, &dialog->cy) ||
        !ReadName(reader, &dialog->menu) || !ReadName(reader, &dialog->windowClass) ||
        !reader.ReadString(&dialog->caption)) {
        return false;
    }
    if ((dialog->style & kSetFontStyle) == 0) {
        return true;
    }
    if (!reader.Read(&dialog->pointSize)) {
        return false;
    }
    if (dialog->extended &&
        (!reader.Read(&dialog->weight) || !reader.Read(&dialog->italic) || !reader.Read(&dialog->charset))) {
        return false;
    }
    return reader.ReadString(&dialog->typeface);
}

}  // namespace

bool ParseDialogTemplate(const void* data, size_t size, DialogTemplate* out) {
    if (data == nullptr || out == nullptr) {
        return false;
    }
    ByteReader reader(data, size);
    WORD first = 0, second = 0;
    *out = DialogTemplate{};
    if (reader.Peek(&first) && size >= 2 * sizeof(WORD)) {
        ByteReader probe(data, size);
        probe.Skip(sizeof(WORD));
        probe.Read(&second);
        out->extended = first == kExtendedVersion && second == kExtendedSignature;
    }
    WORD count = 0;
    if (!ReadHeader(reader, out, &count)) {
        return false;
    }
    // A garbage count must not make us reserve more items than the block could hold.
    out->items.reserve(std::min<size_t>(count, reader.remaining() / kSmallestItem));
    for (WORD i = 0; i < count; ++i) {
        DialogItemTemplate item;
        if (!reader.Align(kItemAlignment) ||
            !(out->extended ? ReadExtendedItem(reader, &item) : ReadClassicItem(reader, &item))) {
            return false;
        }
        out->items.push_back(std::move(item));
    }
    return true;
}

}  // namespace ce::ui
