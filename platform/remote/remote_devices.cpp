#include "remote/remote_devices.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "kernel/caller_memory.h"
#include "remote/client.h"
#include "remote/remote_handles.h"
#include "wire/call_slots.h"
#include "wire/device_dir.h"

namespace ce::remote {

using namespace wire;
namespace {

// One device call: the reply's fields start with the error the host's call set, if any.
class DeviceCall : public RemoteCall {
  public:
    using RemoteCall::RemoteCall;

    // False (the error set) when there is no reply.
    bool Run() {
        const DWORD sent = Send();
        if (sent != ERROR_SUCCESS) {
            SetLastError(sent);
            return false;
        }
        errorSet_ = reply().U32() != 0;
        error_ = reply().U32();
        return true;
    }
    // Gives the thread the error the host's call set; a call that set none leaves it alone.
    void TakeError() const {
        if (errorSet_) {
            SetLastError(error_);
        }
    }

  private:
    bool errorSet_ = false;
    DWORD error_ = 0;
};

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

uint32_t FileValue(HANDLE file) {
    return RemoteValue(file, ObjectType::RemoteDeviceFile);
}

// One piece of a read: false when it failed; *got is what it brought.
bool ReadPiece(uint32_t file, BYTE* buffer, DWORD count, DWORD* got) {
    *got = 0;
    // Proven first: bytes the driver hands over could not be given back if the buffer failed afterwards.
    if (!ProvenWritable(buffer, count)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    DeviceCall call(Op::ReadFile);
    call.request.U32(file);
    call.request.U32(count);
    if (!call.Run()) {
        return false;
    }
    const BOOL done = call.reply().U32();
    const std::string_view data = call.reply().Bytes();
    call.TakeError();
    if (!done || data.size() > count) {
        return false;
    }
    // Proven above; a program that unmaps its buffer while reading into it breaks its own call.
    if (!data.empty()) {
        std::memcpy(buffer, data.data(), data.size());  // a read of nothing may name no buffer at all
    }
    *got = static_cast<DWORD>(data.size());
    return true;
}

bool WritePiece(uint32_t file, const BYTE* buffer, DWORD count, DWORD* put) {
    *put = 0;
    DeviceCall call(Op::WriteFile);
    call.request.U32(file);
    if (!SafeCopy(call.request.Reserve(count), buffer, count)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (!call.Run()) {
        return false;
    }
    const BOOL done = call.reply().U32();
    *put = std::min(call.reply().U32(), count);
    call.TakeError();
    return done != FALSE;
}

// Runs pieces until the transfer is complete or a piece comes back short or failed. A failure after some
// pieces went through reports those, as a short transfer.
template <class Piece>
BOOL Transfer(DWORD count, LPDWORD done, Piece&& piece) {
    DWORD total = 0;
    do {
        const DWORD asked = std::min(count - total, kTransferPieceBytes);
        DWORD moved = 0;
        if (!piece(total, asked, &moved)) {
            *done = total;
            return total != 0 ? TRUE : FALSE;
        }
        total += moved;
        if (moved < asked) {
            break;
        }
    } while (total < count);
    *done = total;
    return TRUE;
}

// Runs a call so that no exception leaves it.
template <class Result, class Body>
Result Guarded(Result failure, Body&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return failure;
    }
}

HANDLE ActivateRemoteUnguarded(LPCWSTR key, DWORD clientInfo) {
    DeviceCall call(Op::ActivateDevice);
    call.request.String(key);
    call.request.U32(clientInfo);
    if (!call.Run()) {
        return nullptr;
    }
    const uint32_t device = call.reply().U32();
    call.TakeError();
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(device));
}

BOOL DeactivateRemoteUnguarded(HANDLE device) {
    DeviceCall call(Op::DeactivateDevice);
    call.request.U32(HostValue(device));
    if (!call.Run()) {
        return FALSE;
    }
    const BOOL done = call.reply().U32();
    call.TakeError();
    return done;
}

HANDLE OpenRemoteUnguarded(LPCWSTR name, DWORD access, DWORD share) {
    DeviceCall call(Op::OpenFile);
    call.request.String(name);
    call.request.U32(access);
    call.request.U32(share);
    if (!call.Run()) {
        return INVALID_HANDLE_VALUE;
    }
    const uint32_t file = call.reply().U32();
    call.TakeError();
    if (file == 0) {
        return INVALID_HANDLE_VALUE;
    }
    HANDLE local = WrapRemote(ObjectType::RemoteDeviceFile, file);
    if (local == nullptr) {
        const DWORD error = GetLastError();
        DeviceCall close(Op::CloseFile);
        close.request.U32(file);
        close.Run();
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    return local;
}

BOOL CloseRemoteUnguarded(HANDLE file) {
    bool stale = false;
    const uint32_t value = UnwrapRemote(file, ObjectType::RemoteDeviceFile, &stale);
    if (stale) {
        return TRUE;  // its device went with the host that had it, and closing it leaves nothing to do
    }
    if (value == 0) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    DeviceCall call(Op::CloseFile);
    call.request.U32(value);
    if (!call.Run()) {
        return FALSE;
    }
    const BOOL done = call.reply().U32();
    call.TakeError();
    return done;
}

BOOL ReadRemoteUnguarded(HANDLE file, LPVOID buffer, DWORD count, LPDWORD done) {
    const uint32_t value = FileValue(file);
    auto* bytes = static_cast<BYTE*>(buffer);
    return Transfer(count, done, [&](DWORD offset, DWORD asked, DWORD* moved) {
        return ReadPiece(value, bytes + offset, asked, moved);
    });
}

BOOL WriteRemoteUnguarded(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD done) {
    const uint32_t value = FileValue(file);
    const auto* bytes = static_cast<const BYTE*>(buffer);
    return Transfer(count, done, [&](DWORD offset, DWORD asked, DWORD* moved) {
        return WritePiece(value, bytes + offset, asked, moved);
    });
}

DWORD SeekRemoteUnguarded(HANDLE file, LONG amount, DWORD method) {
    DeviceCall call(Op::SeekFile);
    call.request.U32(FileValue(file));
    call.request.U32(static_cast<uint32_t>(amount));
    call.request.U32(method);
    if (!call.Run()) {
        return INVALID_SET_FILE_POINTER;
    }
    const DWORD position = call.reply().U32();
    call.TakeError();
    return position;
}

BOOL IoControlRemoteUnguarded(HANDLE file, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                              LPDWORD returned) {
    const DWORD inBytes = in != nullptr ? inSize : 0;
    const DWORD outBytes = out != nullptr ? outSize : 0;
    if (inBytes > kMaxCallDataBytes || outBytes > kMaxCallDataBytes - inBytes) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    DeviceCall call(Op::IoControl);
    Writer& request = call.request;
    request.U32(FileValue(file));
    request.U32(code);
    request.U32(in != nullptr ? 1 : 0);
    request.U32(inSize);
    request.U32(out != nullptr ? 1 : 0);
    request.U32(outSize);
    // The output buffer crosses too, so that what the driver leaves of it stays as it was.
    if (!SafeCopy(request.Reserve(inBytes), in, inBytes) || !ProvenWritable(out, outBytes) ||
        !SafeCopy(request.Reserve(outBytes), out, outBytes) || !PutSlot(request, returned)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (!call.Run()) {
        return FALSE;
    }
    Reader& reply = call.reply();
    const BOOL done = reply.U32();
    const bool counted = TakeSlot(reply, returned);
    const std::string_view output = reply.Bytes();
    if (!counted || output.size() != outBytes || !SafeCopy(out, output.data(), output.size())) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    call.TakeError();
    return done;
}

void PowerRemoteUnguarded(bool down) {
    DeviceCall call(down ? Op::PowerDown : Op::PowerUp);
    if (call.Run()) {
        call.TakeError();
    }
}

}  // namespace

BOOL CloseRemote(HANDLE file) {
    return Guarded(BOOL{FALSE}, [&] { return CloseRemoteUnguarded(file); });
}

namespace {

HANDLE ActivateRemote(LPCWSTR key, DWORD clientInfo) {
    return Guarded(HANDLE{nullptr}, [&] { return ActivateRemoteUnguarded(key, clientInfo); });
}

BOOL DeactivateRemote(HANDLE device) {
    return Guarded(BOOL{FALSE}, [&] { return DeactivateRemoteUnguarded(device); });
}

HANDLE OpenRemote(LPCWSTR name, DWORD access, DWORD share) {
    return Guarded(INVALID_HANDLE_VALUE, [&] { return OpenRemoteUnguarded(name, access, share); });
}

BOOL ReadRemote(HANDLE file, LPVOID buffer, DWORD count, LPDWORD done) {
    return Guarded(BOOL{FALSE}, [&] { return ReadRemoteUnguarded(file, buffer, count, done); });
}

BOOL WriteRemote(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD done) {
    return Guarded(BOOL{FALSE}, [&] { return WriteRemoteUnguarded(file, buffer, count, done); });
}

DWORD SeekRemote(HANDLE file, LONG amount, DWORD method) {
    return Guarded(DWORD{INVALID_SET_FILE_POINTER},
                   [&] { return SeekRemoteUnguarded(file, amount, method); });
}

BOOL IoControlRemote(HANDLE file, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                     LPDWORD returned) {
    return Guarded(BOOL{FALSE},
                   [&] { return IoControlRemoteUnguarded(file, code, in, inSize, out, outSize, returned); });
}

bool DeviceUsersRemote(LPCWSTR name, std::vector<DWORD>* users) {
    return Guarded(false, [&] {
        DeviceCall call(Op::DeviceUsers);
        call.request.String(name);
        if (!call.Run()) {
            return false;
        }
        const uint32_t count = call.reply().U32();
        // A count the reply does not hold ends the reading at its end.
        for (uint32_t i = 0; i < count && call.reply().ok(); ++i) {
            users->push_back(call.reply().U32());
        }
        call.TakeError();
        return call.reply().Complete() || Fail(ERROR_INVALID_DATA);
    });
}

void PowerRemote(bool down) {
    Guarded(true, [&] {
        PowerRemoteUnguarded(down);
        return true;
    });
}

void PowerDownRemote() {
    PowerRemote(true);
}

void PowerUpRemote() {
    PowerRemote(false);
}

// Other programs use the device: it is theirs as much as this program's.
void ResetRemote() {
    std::fprintf(stderr, "ceplatform: CePlatformReset: the device %s is shared; it is not reset\n",
                 DeviceDirectory().c_str());
}

}  // namespace

const DeviceBackend kRemoteDevices = {
    .activate = ActivateRemote,
    .deactivate = DeactivateRemote,
    .openFile = OpenRemote,
    .readFile = ReadRemote,
    .writeFile = WriteRemote,
    .seekFile = SeekRemote,
    .ioControl = IoControlRemote,
    .users = DeviceUsersRemote,
    .powerDown = PowerDownRemote,
    .powerUp = PowerUpRemote,
    .reset = ResetRemote,
};

}  // namespace ce::remote
