#include "remote/remote_registry.h"

#include <cstdio>

#include <string>

#include "registry/key_path.h"
#include "remote/client.h"
#include "remote/remote_handles.h"
#include "wire/call_slots.h"
#include "wire/device_dir.h"
#include "wire/document_wire.h"

namespace ce::remote {

using namespace wire;
namespace {

constexpr size_t kBytesPerMiB = 1024 * 1024;

// A call with a status as the reply's first field: the status, or why there is no reply.
class RegistryCall : public RemoteCall {
  public:
    using RemoteCall::RemoteCall;

    // Sends the request; on success reply() holds the fields after the status.
    LONG Run() {
        const DWORD sent = Send();
        return static_cast<LONG>(sent != ERROR_SUCCESS ? sent : reply().U32());
    }
};

// Copies count characters (or bytes) the host's call wrote into the caller's buffer.
bool TakeChars(Reader& reply, void* caller) {
    const std::string_view written = reply.Bytes();
    return written.empty() || caller == nullptr || SafeCopy(caller, written.data(), written.size());
}

bool TakeFileTime(Reader& reply, PFILETIME caller, LONG status) {
    const uint64_t ticks = reply.U64();
    if (caller == nullptr || status != ERROR_SUCCESS) {
        return true;
    }
    const FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    return SafeCopy(caller, &time, sizeof(time));
}

// The class name the host's call wrote, which is always empty.
bool TakeClass(Reader& reply, LPWSTR caller) {
    const WCHAR empty = 0;
    return reply.U32() == 0 || caller == nullptr || SafeCopy(caller, &empty, sizeof(empty));
}

registry::RegistryCloseKeyFn RemoteRegCloseKey;

// Gives the caller a local handle for the key the host opened, or closes it there when that fails.
LONG TakeKey(uint32_t value, PHKEY result, LONG status) {
    if (result == nullptr || value == kUntouchedKey) {
        return status;
    }
    HKEY local = nullptr;
    if (value != 0) {
        const DWORD saved = GetLastError();
        local = static_cast<HKEY>(WrapRemote(ObjectType::RemoteRegistryKey, value));
        SetLastError(saved);
        if (local == nullptr) {
            RegistryCall close(Op::RegCloseKey);
            close.request.U32(value);
            close.Run();
            return ERROR_NO_SYSTEM_RESOURCES;
        }
    }
    if (!SafeCopy(result, &local, sizeof(local))) {
        if (local != nullptr) {
            RemoteRegCloseKey(local);
        }
        return ERROR_NOACCESS;
    }
    return status;
}

// The value part of a query or an enumeration, as the host's ValueOutputs takes and answers it.
bool PutValueOutputs(Writer& request, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
    request.U32(reserved != nullptr ? 1 : 0);
    const bool readable = PutSlot(request, type);
    request.U32(data != nullptr ? 1 : 0);
    return readable && PutSlot(request, size);
}

bool TakeValueOutputs(Reader& reply, LPDWORD type, LPBYTE data, LPDWORD size) {
    bool copied = TakeSlot(reply, type);
    copied &= TakeSlot(reply, size);
    copied &= TakeChars(reply, data);
    return copied;
}

LONG Faulted(LONG status, bool copied) {
    return copied ? status : static_cast<LONG>(ERROR_NOACCESS);
}

LONG RemoteRegCreateKey(HKEY key, LPCWSTR subKey, DWORD options, PHKEY result, LPDWORD disposition) {
    RegistryCall call(Op::RegCreateKey);
    call.request.U32(RemoteKeyValue(key));
    call.request.String(subKey);
    call.request.U32(options);
    call.request.U32(result != nullptr ? 1 : 0);
    if (!PutSlot(call.request, disposition)) {
        return ERROR_NOACCESS;
    }
    const LONG status = call.Run();
    if (!call.replied()) {
        return status;
    }
    const uint32_t value = call.reply().U32();
    const bool copied = TakeSlot(call.reply(), disposition);
    return Faulted(TakeKey(value, result, status), copied);
}

LONG RemoteRegOpenKey(HKEY key, LPCWSTR subKey, PHKEY result) {
    RegistryCall call(Op::RegOpenKey);
    call.request.U32(RemoteKeyValue(key));
    call.request.String(subKey);
    call.request.U32(result != nullptr ? 1 : 0);
    const LONG status = call.Run();
    if (!call.replied()) {
        return status;
    }
    return TakeKey(call.reply().U32(), result, status);
}

LONG RemoteRegCloseKey(HKEY key) {
    bool stale = false;
    uint32_t value = UnwrapRemote(key, ObjectType::RemoteRegistryKey, &stale);
    if (stale) {
        return ERROR_SUCCESS;  // the key went with the host that had it
    }
    if (value == 0) {
        value = RemoteKeyValue(key);  // a root closes as it does in the host; anything else is refused there
    }
    RegistryCall call(Op::RegCloseKey);
    call.request.U32(value);
    return call.Run();
}

LONG RemoteRegDeleteKey(HKEY key, LPCWSTR subKey) {
    RegistryCall call(Op::RegDeleteKey);
    call.request.U32(RemoteKeyValue(key));
    call.request.String(subKey);
    return call.Run();
}

LONG RemoteRegEnumKey(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars, LPDWORD reserved,
                      LPWSTR className, LPDWORD classChars, PFILETIME lastWrite) {
    RegistryCall call(Op::RegEnumKey);
    Writer& request = call.request;
    request.U32(RemoteKeyValue(key));
    request.U32(index);
    request.U32(name != nullptr ? 1 : 0);
    const bool readable = PutSlot(request, nameChars);
    request.U32(reserved != nullptr ? 1 : 0);
    request.U32(className != nullptr ? 1 : 0);
    if (!readable || !PutSlot(request, classChars)) {
        return ERROR_NOACCESS;
    }
    request.U32(lastWrite != nullptr ? 1 : 0);
    const LONG status = call.Run();
    if (!call.replied()) {
        return status;
    }
    Reader& reply = call.reply();
    bool copied = TakeSlot(reply, nameChars);
    copied &= TakeSlot(reply, classChars);
    copied &= TakeChars(reply, name);
    copied &= TakeClass(reply, className);
    copied &= TakeFileTime(reply, lastWrite, status);
    return Faulted(status, copied);
}

LONG RemoteRegQueryInfoKey(HKEY key, LPWSTR className, LPDWORD classChars, LPDWORD reserved, LPDWORD subKeys,
                           LPDWORD maxSubKeyChars, LPDWORD maxClassChars, LPDWORD values,
                           LPDWORD maxValueNameChars, LPDWORD maxValueBytes, LPDWORD securityBytes,
                           PFILETIME lastWrite) {
    RegistryCall call(Op::RegQueryInfoKey);
    Writer& request = call.request;
    request.U32(RemoteKeyValue(key));
    request.U32(className != nullptr ? 1 : 0);
    request.U32(reserved != nullptr ? 1 : 0);
    LPDWORD const slots[] = {classChars, subKeys,           maxSubKeyChars, maxClassChars,
                             values,     maxValueNameChars, maxValueBytes,  securityBytes};
    for (LPDWORD slot : slots) {
        if (!PutSlot(request, slot)) {
            return ERROR_NOACCESS;
        }
    }
    request.U32(lastWrite != nullptr ? 1 : 0);
    const LONG status = call.Run();
    if (!call.replied()) {
        return status;
    }
    Reader& reply = call.reply();
    bool copied = true;
    for (LPDWORD slot : slots) {
        copied &= TakeSlot(reply, slot);
    }
    copied &= TakeClass(reply, className);
    copied &= TakeFileTime(reply, lastWrite, status);
    return Faulted(status, copied);
}

LONG RemoteRegFlushKey(HKEY key) {
    RegistryCall call(Op::RegFlushKey);
    call.request.U32(RemoteKeyValue(key));
    return call.Run();
}

LONG RemoteRegSetValue(HKEY key, LPCWSTR name, DWORD type, const BYTE* data, DWORD size) {
    // Refused here as the host would refuse it, without carrying it there first.
    if (size > registry::kMaxValueBytes) {
        return ERROR_INVALID_PARAMETER;
    }
    RegistryCall call(Op::RegSetValue);
    Writer& request = call.request;
    request.U32(RemoteKeyValue(key));
    request.String(name);
    request.U32(type);
    request.U32(data != nullptr ? 1 : 0);
    request.U32(size);
    if (data != nullptr && !SafeCopy(request.Reserve(size), data, size)) {
        return ERROR_NOACCESS;
    }
    return call.Run();
}

LONG RemoteRegQueryValue(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
    RegistryCall call(Op::RegQueryValue);
    call.request.U32(RemoteKeyValue(key));
    call.request.String(name);
    if (!PutValueOutputs(call.request, reserved, type, data, size)) {
        return ERROR_NOACCESS;
    }
    const LONG status = call.Run();
    if (!call.replied()) {
        return status;
    }
    return Faulted(status, TakeValueOutputs(call.reply(), type, data, size));
}

LONG RemoteRegEnumValue(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars, LPDWORD reserved, LPDWORD type,
                        LPBYTE data, LPDWORD size) {
    RegistryCall call(Op::RegEnumValue);
    Writer& request = call.request;
    request.U32(RemoteKeyValue(key));
    request.U32(index);
    request.U32(name != nullptr ? 1 : 0);
    if (!PutSlot(request, nameChars) || !PutValueOutputs(request, reserved, type, data, size)) {
        return ERROR_NOACCESS;
    }
    const LONG status = call.Run();
    if (!call.replied()) {
        return status;
    }
    Reader& reply = call.reply();
    bool copied = TakeValueOutputs(reply, type, data, size);
    copied &= TakeSlot(reply, nameChars);
    copied &= TakeChars(reply, name);
    return Faulted(status, copied);
}

LONG RemoteRegDeleteValue(HKEY key, LPCWSTR name) {
    RegistryCall call(Op::RegDeleteValue);
    call.request.U32(RemoteKeyValue(key));
    call.request.String(name);
    return call.Run();
}

LONG RemoteRegImport(const registry::regfile::Document& document, registry::regfile::ParseError* error) {
    RegistryCall call(Op::RegImport);
    PutDocument(call.request, document);
    if (call.request.size() > kMaxMessageBytes) {
        error->line = 0;
        error->message = "too large to import through a device at once (" +
                         std::to_string(call.request.size() / kBytesPerMiB) + " MiB of keys and values; " +
                         std::to_string(kMaxMessageBytes / kBytesPerMiB) + " MiB at most)";
        return ERROR_INVALID_PARAMETER;
    }
    const LONG status = call.Run();
    if (call.replied() && status != ERROR_SUCCESS) {
        error->line = static_cast<int>(call.reply().U32());
        const std::string_view why = call.reply().Bytes();
        error->message.assign(why.begin(), why.end());
    }
    return status;
}

// The device's registry is the host's to keep: a program cannot move it to a file of its own.
BOOL RemoteUseHive(const char*) {
    std::fprintf(stderr, "ceplatform: CeRegistryUseHive: the registry is the device host's (%s)\n",
                 DeviceDirectory().c_str());
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

}  // namespace

const registry::RegistryBackend kRemoteRegistry = {
    .createKey = RemoteRegCreateKey,
    .openKey = RemoteRegOpenKey,
    .closeKey = RemoteRegCloseKey,
    .deleteKey = RemoteRegDeleteKey,
    .enumKey = RemoteRegEnumKey,
    .queryInfoKey = RemoteRegQueryInfoKey,
    .flushKey = RemoteRegFlushKey,
    .setValue = RemoteRegSetValue,
    .queryValue = RemoteRegQueryValue,
    .enumValue = RemoteRegEnumValue,
    .deleteValue = RemoteRegDeleteValue,
    .useHive = RemoteUseHive,
    .importDocument = RemoteRegImport,
};

}  // namespace ce::remote
