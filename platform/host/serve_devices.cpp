// The device manager's and the device files' calls of programs, run in the host.
#include <ceplatform.h>
#include <devload.h>

#include <algorithm>
#include <memory>
#include <string>

#include "devices/device_users.h"
#include "host/serve.h"
#include "kernel/known_memory.h"
#include "wire/call_slots.h"

namespace ce::host {

using namespace wire;
namespace {

// No call sets this error, so a thread's last error still holding it afterwards means the call set none.
constexpr DWORD kUnsetError = 0xC0DEFACEu;

// The last error a host call sets, taken on the thread that ran it.
class ErrorCapture {
  public:
    ErrorCapture() { SetLastError(kUnsetError); }
    void Put(Writer& reply) const {
        const DWORD error = GetLastError();
        reply.U32(error != kUnsetError ? 1 : 0);
        reply.U32(error);
    }
};

uint32_t ValueOf(HANDLE handle) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(handle));
}

// A buffer of the host's own standing in for a caller's: null where the caller passed null; size bytes,
// starting with what the caller's held. It is lent to the driver while it lives (LentMemory): the program
// side has checked the caller's buffer already.
class CallBuffer {
  public:
    CallBuffer(bool present, size_t size, std::string_view contents = {})
        : storage_(present ? new BYTE[std::max<size_t>(size, 1)] : nullptr), lent_(storage_.get(), size) {
        if (storage_ != nullptr) {
            std::copy(contents.begin(), contents.end(), storage_.get());
        }
    }
    BYTE* get() { return storage_.get(); }

  private:
    std::unique_ptr<BYTE[]> storage_;
    const LentMemory lent_;  // declared after the storage, so given back before it is freed
};

bool Activate(Session&, Reader& request, Writer& reply) {
    bool isNull = true;
    const std::u16string key = request.String(&isNull, kMaxStringChars);
    const DWORD clientInfo = request.U32();
    if (!request.Complete()) {
        return false;
    }
    ErrorCapture error;
    // Devices belong to the device, not to the program: their handles are the host's, valid everywhere.
    HANDLE device = ActivateDevice(isNull ? nullptr : key.c_str(), clientInfo);
    error.Put(reply);
    reply.U32(ValueOf(device));
    return true;
}

bool Deactivate(Session&, Reader& request, Writer& reply) {
    const uint32_t device = request.U32();
    if (!request.Complete()) {
        return false;
    }
    ErrorCapture error;
    const BOOL done = DeactivateDevice(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(device)));
    error.Put(reply);
    reply.U32(done);
    return true;
}

bool Open(Session& session, Reader& request, Writer& reply) {
    bool isNull = true;
    const std::u16string name = request.String(&isNull, kMaxStringChars);
    const DWORD access = request.U32();
    const DWORD share = request.U32();
    if (!request.Complete() || isNull) {
        return false;
    }
    HandlePlace place(session, true);
    if (place.refused()) {
        // Past the program's quota the open fails before any driver sees it.
        reply.U32(1);
        reply.U32(ERROR_NOT_ENOUGH_QUOTA);
        reply.U32(0);
        return true;
    }
    ErrorCapture error;
    const OpenerScope opener(static_cast<DWORD>(session.pid()));
    HANDLE file = CreateFileW(name.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr);
    error.Put(reply);
    if (file == INVALID_HANDLE_VALUE || !place.AdoptFile(file)) {
        file = nullptr;
    }
    reply.U32(ValueOf(file));
    return true;
}

bool Close(Session& session, Reader& request, Writer& reply) {
    const uint32_t value = request.U32();
    if (!request.Complete()) {
        return false;
    }
    HANDLE file =
        session.ReleaseFile(value) ? reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value)) : nullptr;
    ErrorCapture error;
    const BOOL done = CloseHandle(file);
    error.Put(reply);
    reply.U32(done);
    return true;
}

bool Read(Session& session, Reader& request, Writer& reply) {
    HANDLE file = session.File(request.U32());
    const DWORD count = request.U32();
    if (!request.Complete() || count > kTransferPieceBytes) {
        return false;
    }
    CallBuffer buffer(true, count);
    DWORD done = 0;
    ErrorCapture error;
    const BOOL result = ReadFile(file, buffer.get(), count, &done, nullptr);
    error.Put(reply);
    reply.U32(result);
    reply.Bytes(buffer.get(), result ? std::min(done, count) : 0);
    return true;
}

bool Write(Session& session, Reader& request, Writer& reply) {
    HANDLE file = session.File(request.U32());
    const std::string_view data = request.Bytes();
    if (!request.Complete() || data.size() > kTransferPieceBytes) {
        return false;
    }
    DWORD done = 0;
    ErrorCapture error;
    const LentMemory lent(data.data(), data.size());
    const BOOL result = WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &done, nullptr);
    error.Put(reply);
    reply.U32(result);
    reply.U32(done);
    return true;
}

bool Seek(Session& session, Reader& request, Writer& reply) {
    HANDLE file = session.File(request.U32());
    const auto amount = static_cast<LONG>(request.U32());
    const DWORD method = request.U32();
    if (!request.Complete()) {
        return false;
    }
    ErrorCapture error;
    const DWORD position = SetFilePointer(file, amount, nullptr, method);
    error.Put(reply);
    reply.U32(position);
    return true;
}

bool IoControl(Session& session, Reader& request, Writer& reply) {
    HANDLE file = session.File(request.U32());
    const DWORD code = request.U32();
    const bool inPresent = request.U32() != 0;
    const DWORD inSize = request.U32();
    const bool outPresent = request.U32() != 0;
    const DWORD outSize = request.U32();
    const std::string_view in = request.Bytes();
    const std::string_view out = request.Bytes();
    Slot returned = TakeSlot(request);
    // A buffer crosses whole: the driver may use all of the size it is told.
    if (!request.Complete() || in.size() != (inPresent ? inSize : 0) ||
        out.size() != (outPresent ? outSize : 0)) {
        return false;
    }
    CallBuffer inBuffer(inPresent, in.size(), in);
    CallBuffer outBuffer(outPresent, out.size(), out);
    ErrorCapture error;
    const BOOL result = DeviceIoControl(file, code, inBuffer.get(), inSize, outBuffer.get(), outSize,
                                        returned.get(), nullptr);
    error.Put(reply);
    reply.U32(result);
    PutSlot(reply, returned);
    reply.Bytes(outBuffer.get(), outPresent ? outSize : 0);
    return true;
}

template <bool kDown>
bool Power(Session&, Reader& request, Writer& reply) {
    if (!request.Complete()) {
        return false;
    }
    ErrorCapture error;
    kDown ? CePlatformPowerDown() : CePlatformPowerUp();
    error.Put(reply);
    return true;
}

bool Users(Session&, Reader& request, Writer& reply) {
    bool isNull = true;
    const std::u16string name = request.String(&isNull, kMaxStringChars);
    if (!request.Complete() || isNull) {
        return false;
    }
    ErrorCapture error;
    const std::vector<DWORD> users = DeviceUsers(name.c_str());
    error.Put(reply);
    reply.U32(static_cast<uint32_t>(users.size()));
    for (const DWORD user : users) {
        reply.U32(user);
    }
    return true;
}

}  // namespace

Handler DeviceHandler(Op op) {
    switch (op) {
        case Op::ActivateDevice:
            return Activate;
        case Op::DeactivateDevice:
            return Deactivate;
        case Op::OpenFile:
            return Open;
        case Op::CloseFile:
            return Close;
        case Op::ReadFile:
            return Read;
        case Op::WriteFile:
            return Write;
        case Op::SeekFile:
            return Seek;
        case Op::IoControl:
            return IoControl;
        case Op::PowerDown:
            return Power<true>;
        case Op::PowerUp:
            return Power<false>;
        case Op::DeviceUsers:
            return Users;
        default:
            return nullptr;
    }
}

}  // namespace ce::host
