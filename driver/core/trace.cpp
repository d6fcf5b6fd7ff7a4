#include "core/trace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/port_ops.h"

const char* ControlCodeName(DWORD code) {
    switch (code) {
        case IOCTL_SERIAL_SET_BREAK_ON:
            return "IOCTL_SERIAL_SET_BREAK_ON";
        case IOCTL_SERIAL_SET_BREAK_OFF:
            return "IOCTL_SERIAL_SET_BREAK_OFF";
        case IOCTL_SERIAL_SET_DTR:
            return "IOCTL_SERIAL_SET_DTR";
        case IOCTL_SERIAL_CLR_DTR:
            return "IOCTL_SERIAL_CLR_DTR";
        case IOCTL_SERIAL_SET_RTS:
            return "IOCTL_SERIAL_SET_RTS";
        case IOCTL_SERIAL_CLR_RTS:
            return "IOCTL_SERIAL_CLR_RTS";
        case IOCTL_SERIAL_SET_XOFF:
            return "IOCTL_SERIAL_SET_XOFF";
        case IOCTL_SERIAL_SET_XON:
            return "IOCTL_SERIAL_SET_XON";
        case IOCTL_SERIAL_GET_WAIT_MASK:
            return "IOCTL_SERIAL_GET_WAIT_MASK";
        case IOCTL_SERIAL_SET_WAIT_MASK:
            return "IOCTL_SERIAL_SET_WAIT_MASK";
        case IOCTL_SERIAL_WAIT_ON_MASK:
            return "IOCTL_SERIAL_WAIT_ON_MASK";
        case IOCTL_SERIAL_GET_COMMSTATUS:
            return "IOCTL_SERIAL_GET_COMMSTATUS";
        case IOCTL_SERIAL_GET_MODEMSTATUS:
            return "IOCTL_SERIAL_GET_MODEMSTATUS";
        case IOCTL_SERIAL_GET_PROPERTIES:
            return "IOCTL_SERIAL_GET_PROPERTIES";
        case IOCTL_SERIAL_SET_TIMEOUTS:
            return "IOCTL_SERIAL_SET_TIMEOUTS";
        case IOCTL_SERIAL_GET_TIMEOUTS:
            return "IOCTL_SERIAL_GET_TIMEOUTS";
        case IOCTL_SERIAL_PURGE:
            return "IOCTL_SERIAL_PURGE";
        case IOCTL_SERIAL_SET_QUEUE_SIZE:
            return "IOCTL_SERIAL_SET_QUEUE_SIZE";
        case IOCTL_SERIAL_IMMEDIATE_CHAR:
            return "IOCTL_SERIAL_IMMEDIATE_CHAR";
        case IOCTL_SERIAL_GET_DCB:
            return "IOCTL_SERIAL_GET_DCB";
        case IOCTL_SERIAL_SET_DCB:
            return "IOCTL_SERIAL_SET_DCB";
        case IOCTL_SERIAL_ENABLE_IR:
            return "IOCTL_SERIAL_ENABLE_IR";
        case IOCTL_SERIAL_DISABLE_IR:
            return "IOCTL_SERIAL_DISABLE_IR";
        case kIoctlPortOpenState:
            return "port open-state query";
        case IOCTL_PSL_NOTIFY:
            return "IOCTL_PSL_NOTIFY";
        case IOCTL_POWER_CAPABILITIES:
            return "IOCTL_POWER_CAPABILITIES";
        case IOCTL_POWER_GET:
            return "IOCTL_POWER_GET";
        case IOCTL_POWER_SET:
            return "IOCTL_POWER_SET";
        case IOCTL_POWER_QUERY:
            return "IOCTL_POWER_QUERY";
        default:
            return "unknown code";
    }
}

bool TraceEnabledByEnvironment() {
    const char* value = std::getenv("TULK_TRACE");
    return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

void TraceControlCode(DWORD index, DWORD code, BOOL result, DWORD error) {
    if (result) {
        std::fprintf(stderr, "tulk[%u]: %s (0x%08X) -> TRUE\n", index, ControlCodeName(code), code);
    } else {
        std::fprintf(stderr, "tulk[%u]: %s (0x%08X) -> FALSE, error %u\n", index, ControlCodeName(code), code,
                     error);
    }
}
