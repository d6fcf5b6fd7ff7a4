// The serial I/O control dispatcher: checks common to every code, then the work of each code.
#include <algorithm>
#include <iterator>

#include "core/handle_call.h"
#include "core/port_state.h"
#include "core/stream_calls.h"

namespace {

// What a handle opened with access 0 may ask: its event mask and waits, the status and settings queries,
// and the codes the layer answers.
constexpr DWORD kCodesWithoutDataAccess[] = {
    IOCTL_SERIAL_GET_WAIT_MASK,
    IOCTL_SERIAL_SET_WAIT_MASK,
    IOCTL_SERIAL_WAIT_ON_MASK,
    IOCTL_SERIAL_GET_MODEMSTATUS,
    IOCTL_SERIAL_GET_PROPERTIES,
    IOCTL_SERIAL_GET_TIMEOUTS,
    kIoctlPortOpenState,
    IOCTL_POWER_CAPABILITIES,
    IOCTL_POWER_SET,
    IOCTL_POWER_QUERY,
};

bool AllowedWithoutDataAccess(DWORD code) {
    return std::find(std::begin(kCodesWithoutDataAccess), std::end(kCodesWithoutDataAccess), code) !=
           std::end(kCodesWithoutDataAccess);
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// The system tells a driver that a process holding the handle exits; whatever the packet, the answer is
// TRUE. The packet is copied first: it comes from the caller and may not be readable.
BOOL NotifyProcessEvent(OpenContext* context, const BYTE* in, DWORD inLength) {
    DEVICE_PSL_NOTIFY packet{};
    if (in != nullptr && inLength >= sizeof(packet) && CeSafeCopyMemory(&packet, in, sizeof(packet)) &&
        packet.dwSize == sizeof(packet) && packet.dwFlags == DLL_PROCESS_EXITING) {
        ReleaseWaiters(context);
    }
    return TRUE;
}

// Codes the core gives no meaning go to the layer's Ioctl slot; a refusal there is the caller's bad
// parameter, whatever error the slot set.
BOOL PassToLayer(PortState* state, DWORD code, PBYTE in, DWORD inLength, PBYTE out, DWORD outLength,
                 PDWORD actualOut) {
    const PortOps& ops = OpsOf(state);
    if (ops.Ioctl == nullptr || !ops.Ioctl(state->Port, code, in, inLength, out, outLength, actualOut)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    return TRUE;
}

}  // namespace

BOOL ControlPort(DWORD_PTR open, DWORD code, PBYTE in, DWORD inLength, PBYTE out, DWORD outLength,
                 PDWORD actualOut) {
    ContextRef call(open);
    if (!call.IsOpen()) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    OpenContext* context = call.get();
    if (code == IOCTL_PSL_NOTIFY) {
        return NotifyProcessEvent(context, in, inLength);
    }
    if (!HasDataAccess(context) && !AllowedWithoutDataAccess(code)) {
        return Fail(ERROR_INVALID_ACCESS);
    }
    ActiveCall active(context);
    switch (code) {
        case kIoctlPortOpenState:
            return PassToLayer(call.port(), code, in, inLength, out, outLength, actualOut);
        default:
            return Fail(ERROR_NOT_SUPPORTED);
    }
}
