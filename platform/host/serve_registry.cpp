// The registry calls of programs, run in the host with the program's null pointers and buffer sizes.
#include <winreg.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>

#include "host/serve.h"
#include "registry/document_import.h"
#include "registry/key_path.h"
#include "wire/call_slots.h"
#include "wire/document_wire.h"

namespace ce::host {

using namespace wire;
namespace {

// Registry names are far shorter: any name the registry holds fits in a buffer of this many characters.
constexpr DWORD kNameBufferChars = 16384;
// No value is larger, so a caller's buffer capped here still takes any value whole; and any value, with
// its longest name beside it, fits in one reply.
constexpr DWORD kValueBufferBytes = registry::kMaxValueBytes;
static_assert(kValueBufferBytes + kNameBufferChars * sizeof(WCHAR) + 1024 <= kMaxCallDataBytes);

// Stands in for the caller's key variable, so that a call that never wrote it is told apart.
const HKEY kUntouched = reinterpret_cast<HKEY>(uintptr_t{kUntouchedKey});

uint32_t ValueOf(HKEY key) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key));
}

// A key a call opened becomes the session's, in the place reserved for it.
HKEY Adopted(HandlePlace& place, LONG status, HKEY result) {
    if (status == ERROR_SUCCESS && result != kUntouched && result != nullptr && !place.AdoptKey(result)) {
        return nullptr;
    }
    return result;
}

// The reply of a call that would open a key past the program's quota: it fails before it runs, and the
// caller's key variable becomes null as for any failure.
void PutQuotaRefusal(Writer& reply) {
    reply.U32(static_cast<uint32_t>(ERROR_NOT_ENOUGH_QUOTA));
    reply.U32(0);
}

// A caller string: its characters, or null.
class Text {
  public:
    explicit Text(Reader& request) { chars_ = request.String(&isNull_, kMaxStringChars); }
    LPCWSTR get() const { return isNull_ ? nullptr : chars_.c_str(); }

  private:
    bool isNull_ = true;
    std::u16string chars_;
};

// An output buffer of the host's own, as large as the caller's (capped where the call cannot need more),
// or none when the caller passed none.
template <class Element>
class OutBuffer {
  public:
    OutBuffer(bool present, DWORD count) : present_(present), count_(count) {
        if (present_) {
            storage_.reset(new Element[std::max<DWORD>(count_, 1)]);
        }
    }
    Element* get() { return present_ ? storage_.get() : nullptr; }
    // The first count elements, as the call wrote them.
    void Put(Writer& reply, DWORD count, bool written) {
        reply.Bytes(storage_.get(), written && present_ ? std::min(count, count_) * sizeof(Element) : 0);
    }

  private:
    const bool present_;
    const DWORD count_;
    std::unique_ptr<Element[]> storage_;
};

// Registry classes are always empty; whether the call wrote the class's terminating NUL.
class ClassBuffer {
  public:
    explicit ClassBuffer(bool present) : present_(present) {}
    LPWSTR get() { return present_ ? &first_ : nullptr; }
    void Put(Writer& reply) const { reply.U32(present_ && first_ == 0 ? 1 : 0); }

  private:
    static constexpr WCHAR kUnwritten = 0xFFFF;
    const bool present_;
    WCHAR first_ = kUnwritten;
};

DWORD* Flag(Reader& request, DWORD* dummy) {
    return request.U32() != 0 ? dummy : nullptr;
}

bool CreateKey(Session& session, Reader& request, Writer& reply) {
    HKEY key = session.Key(request.U32());
    const Text subKey(request);
    const DWORD options = request.U32();
    const bool wantsKey = request.U32() != 0;
    Slot disposition = TakeSlot(request);
    if (!request.Complete()) {
        return false;
    }
    HandlePlace place(session, wantsKey);
    if (place.refused()) {
        PutQuotaRefusal(reply);
        PutSlot(reply, disposition);
        return true;
    }
    HKEY result = kUntouched;
    const LONG status = RegCreateKeyExW(key, subKey.get(), 0, nullptr, options, KEY_ALL_ACCESS, nullptr,
                                        wantsKey ? &result : nullptr, disposition.get());
    reply.U32(static_cast<uint32_t>(status));
    reply.U32(ValueOf(Adopted(place, status, result)));
    PutSlot(reply, disposition);
    return true;
}

bool OpenKey(Session& session, Reader& request, Writer& reply) {
    HKEY key = session.Key(request.U32());
    const Text subKey(request);
    const bool wantsKey = request.U32() != 0;
    if (!request.Complete()) {
        return false;
    }
    HandlePlace place(session, wantsKey);
    if (place.refused()) {
        PutQuotaRefusal(reply);
        return true;
    }
    HKEY result = kUntouched;
    const LONG status = RegOpenKeyExW(key, subKey.get(), 0, KEY_ALL_ACCESS, wantsKey ? &result : nullptr);
    reply.U32(static_cast<uint32_t>(status));
    reply.U32(ValueOf(Adopted(place, status, result)));
    return true;
}

bool CloseKey(Session& session, Reader& request, Writer& reply) {
    const uint32_t value = request.U32();
    if (!request.Complete()) {
        return false;
    }
    // The session lets go first, so that two closes of one key cannot both reach the registry.
    HKEY key = session.ReleaseKey(value) ? reinterpret_cast<HKEY>(static_cast<uintptr_t>(value))
                                         : session.Key(value);
    reply.U32(static_cast<uint32_t>(RegCloseKey(key)));
    return true;
}

bool DeleteKey(Session& session, Reader& request, Writer& reply) {
    HKEY key = session.Key(request.U32());
    const Text subKey(request);
    if (!request.Complete()) {
        return false;
    }
    reply.U32(static_cast<uint32_t>(RegDeleteKeyW(key, subKey.get())));
    return true;
}

bool EnumKey(Session& session, Reader& request, Writer& reply) {
    HKEY key = session.Key(request.U32());
    const DWORD index = request.U32();
    const bool namePresent = request.U32() != 0;
    Slot nameChars = TakeSlot(request);
    DWORD reserved = 0;
    DWORD* reservedArg = Flag(request, &reserved);
    ClassBuffer className(request.U32() != 0);
    Slot classChars = TakeSlot(request);
    FILETIME lastWrite{};
    const bool timePresent = request.U32() != 0;
    if (!request.Complete()) {
        return false;
    }
    OutBuffer<WCHAR> name(namePresent, std::min(nameChars.value, kNameBufferChars));
    const LONG status = RegEnumKeyExW(key, index, name.get(), nameChars.get(), reservedArg, className.get(),
                                      classChars.get(), timePresent ? &lastWrite : nullptr);
    reply.U32(static_cast<uint32_t>(status));
    PutSlot(reply, nameChars);
    PutSlot(reply, classChars);
    name.Put(reply, nameChars.value + 1, status == ERROR_SUCCESS);
    className.Put(reply);
    reply.U64((uint64_t{lastWrite.dwHighDateTime} << 32) | lastWrite.dwLowDateTime);
    return true;
}

bool QueryInfoKey(Session& session, Reader& request, Writer& reply) {
    HKEY key = session.Key(request.U32());
    ClassBuffer className(request.U32() != 0);
    DWORD reserved = 0;
    DWORD* reservedArg = Flag(request, &reserved);
    Slot slots[8];
    for (Slot& slot : slots) {
        slot = TakeSlot(request);
    }
    FILETIME lastWrite{};
    const bool timePresent = request.U32() != 0;
    if (!request.Complete()) {
        return false;
    }
    const LONG status = RegQueryInfoKeyW(key, className.get(), slots[0].get(), reservedArg, slots[1].get(),
                                         slots[2].get(), slots[3].get(), slots[4].get(), slots[5].get(),
                                         slots[6].get(), slots[7].get(), timePresent ? &lastWrite : nullptr);
    reply.U32(static_cast<uint32_t>(status));
    for (const Slot& slot : slots) {
        PutSlot(reply, slot);
    }
    className.Put(reply);
    reply.U64((uint64_t{lastWrite.dwHighDateTime} << 32) | lastWrite.dwLowDateTime);
    return true;
}

bool FlushKey(Session& session, Reader& request, Writer& reply) {
    HKEY key = session.Key(request.U32());
    if (!request.Complete()) {
        return false;
    }
    reply.U32(static_cast<uint32_t>(RegFlushKey(key)));
    return true;
}

bool SetValue(Session& session, Reader& request, Writer& reply) {
    HKEY key = session.Key(request.U32());
    const Text name(request);
    const DWORD type = request.U32();
    const bool dataPresent = request.U32() != 0;
    const DWORD size = request.U32();
    const std::string_view data = dataPresent ? request.Bytes() : std::string_view();
    if (!request.Complete() || (dataPresent && data.size() != size)) {
        return false;
    }
    const auto* bytes = dataPresent ? reinterpret_cast<const BYTE*>(data.data()) : nullptr;
    // An empty buffer is still a buffer: the call must not see null where the program passed data.
    const BYTE none = 0;
    reply.U32(static_cast<uint32_t>(
        RegSetValueExW(key, name.get(), 0, type, dataPresent && size == 0 ? &none : bytes, size)));
    return true;
}

// The value part of a query or enumeration: the reserved pointer, the type, the data buffer and its size.
class ValueOutputs {
  public:
    explicit ValueOutputs(Reader& request)
        : reservedArg_(request.U32() != 0 ? &reserved_ : nullptr),
          type_(TakeSlot(request)),
          dataPresent_(request.U32() != 0),
          size_(TakeSlot(request)) {}

    // Buffers once the request is known to be whole.
    void Prepare() {
        if (dataPresent_) {
            size_.value = std::min(size_.value, kValueBufferBytes);
        }
        data_.emplace(dataPresent_, size_.value);
    }
    DWORD* reserved() { return reservedArg_; }
    DWORD* type() { return type_.get(); }
    BYTE* data() { return data_->get(); }
    DWORD* size() { return size_.get(); }

    void Put(Writer& reply, LONG status) {
        PutSlot(reply, type_);
        PutSlot(reply, size_);
        data_->Put(reply, size_.value, status == ERROR_SUCCESS);
    }

  private:
    DWORD reserved_ = 0;
    DWORD* const reservedArg_;
    Slot type_;
    const bool dataPresent_;
    Slot size_;
    std::optional<OutBuffer<BYTE>> data_;
};

bool QueryValue(Session& session, Reader& request, Writer& reply) {
    HKEY key = session.Key(request.U32());
    const Text name(request);
    ValueOutputs value(request);
    if (!request.Complete()) {
        return false;
    }
    value.Prepare();
    const LONG status =
        RegQueryValueExW(key, name.get(), value.reserved(), value.type(), value.data(), value.size());
    reply.U32(static_cast<uint32_t>(status));
    value.Put(reply, status);
    return true;
}

bool EnumValue(Session& session, Reader& request, Writer& reply) {
    HKEY key = session.Key(request.U32());
    const DWORD index = request.U32();
    const bool namePresent = request.U32() != 0;
    Slot nameChars = TakeSlot(request);
    ValueOutputs value(request);
    if (!request.Complete()) {
        return false;
    }
    value.Prepare();
    OutBuffer<WCHAR> name(namePresent, std::min(nameChars.value, kNameBufferChars));
    const LONG status = RegEnumValueW(key, index, name.get(), nameChars.get(), value.reserved(), value.type(),
                                      value.data(), value.size());
    reply.U32(static_cast<uint32_t>(status));
    value.Put(reply, status);
    PutSlot(reply, nameChars);
    name.Put(reply, nameChars.value + 1, status == ERROR_SUCCESS);
    return true;
}

bool DeleteValue(Session& session, Reader& request, Writer& reply) {
    HKEY key = session.Key(request.U32());
    const Text name(request);
    if (!request.Complete()) {
        return false;
    }
    reply.U32(static_cast<uint32_t>(RegDeleteValueW(key, name.get())));
    return true;
}

bool Import(Session&, Reader& request, Writer& reply) {
    registry::regfile::Document document;
    if (!TakeDocument(request, &document)) {
        return false;
    }
    registry::regfile::ParseError error;
    reply.U32(static_cast<uint32_t>(registry::ImportDocument(document, &error)));
    reply.U32(static_cast<uint32_t>(error.line));
    reply.Bytes(error.message.data(), static_cast<uint32_t>(error.message.size()));
    return true;
}

}  // namespace

Handler RegistryHandler(Op op) {
    switch (op) {
        case Op::RegCreateKey:
            return CreateKey;
        case Op::RegOpenKey:
            return OpenKey;
        case Op::RegCloseKey:
            return CloseKey;
        case Op::RegDeleteKey:
            return DeleteKey;
        case Op::RegEnumKey:
            return EnumKey;
        case Op::RegQueryInfoKey:
            return QueryInfoKey;
        case Op::RegFlushKey:
            return FlushKey;
        case Op::RegSetValue:
            return SetValue;
        case Op::RegQueryValue:
            return QueryValue;
        case Op::RegEnumValue:
            return EnumValue;
        case Op::RegDeleteValue:
            return DeleteValue;
        case Op::RegImport:
            return Import;
        default:
            return nullptr;
    }
}

}  // namespace ce::host
