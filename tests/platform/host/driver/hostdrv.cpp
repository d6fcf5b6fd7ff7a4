// The device host's test stream driver (see hostdrv_protocol.h).
#include <pkfuncs.h>
#include <windows.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/host/driver/hostdrv_protocol.h"

namespace {

constexpr DWORD kFailure = 0xFFFFFFFFu;
constexpr DWORD_PTR kDeviceContext = 0x100;

struct Open {
    DWORD access = 0;
    std::deque<BYTE> echo;
    bool ended = false;     // closed or its device gone
    bool notified = false;  // its process exits
};

std::mutex g_lock;
std::condition_variable g_wake;
std::map<DWORD_PTR, std::shared_ptr<Open>> g_opens;
DWORD_PTR g_nextOpen = 0x1000;
bool g_dataOpen = false;

// Counts go to the registry outside the driver's lock: the registry may be slow, the lock is not.
void Count(LPCWSTR name, int delta = 1) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, hostdrv::kCountsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    static std::mutex counting;
    std::lock_guard<std::mutex> guard(counting);
    DWORD value = 0;
    DWORD size = sizeof(value);
    RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    value += static_cast<DWORD>(delta);
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    RegCloseKey(key);
}

void Record(LPCWSTR name, DWORD value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, hostdrv::kCountsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) == ERROR_SUCCESS) {
        RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
        RegCloseKey(key);
    }
}

std::shared_ptr<Open> Find(DWORD_PTR context) {
    std::lock_guard<std::mutex> guard(g_lock);
    auto found = g_opens.find(context);
    return found != g_opens.end() ? found->second : nullptr;
}

// Blocks until ready() or the open ends or is notified; false (kReleasedError) when released.
template <class Ready>
bool Block(Open& open, Ready&& ready) {
    {
        std::lock_guard<std::mutex> guard(g_lock);
        if (ready()) {
            return true;
        }
    }
    // Only calls that really wait are counted: a count is a registry write, which the host saves.
    Count(hostdrv::kBlocked);
    bool released = false;
    {
        std::unique_lock<std::mutex> lock(g_lock);
        g_wake.wait(lock, [&] { return ready() || open.ended || open.notified; });
        released = !ready();
    }
    Count(hostdrv::kBlocked, -1);
    if (released) {
        if (open.notified) {
            Count(hostdrv::kReleased);
        }
        SetLastError(hostdrv::kReleasedError);
    }
    return !released;
}

BOOL NotifyExit(Open& open, PBYTE in, DWORD inSize) {
    DEVICE_PSL_NOTIFY packet{};
    if (in == nullptr || inSize != sizeof(packet) || !CeSafeCopyMemory(&packet, in, sizeof(packet)) ||
        packet.dwSize != sizeof(packet) || packet.dwFlags != DLL_PROCESS_EXITING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    {
        std::lock_guard<std::mutex> guard(g_lock);
        open.notified = true;
    }
    g_wake.notify_all();
    Record(hostdrv::kExitPid, packet.hProc);
    Count(hostdrv::kExitNotices);
    return TRUE;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HANDLE, DWORD, LPVOID) {
    return TRUE;
}

DWORD_PTR HST_Init(LPCWSTR, DWORD_PTR) {
    Count(hostdrv::kInits);
    return kDeviceContext;
}

BOOL HST_Deinit(DWORD_PTR) {
    {
        std::lock_guard<std::mutex> guard(g_lock);
        for (auto& [context, open] : g_opens) {
            open->ended = true;
        }
        g_opens.clear();
        g_dataOpen = false;
    }
    g_wake.notify_all();
    Count(hostdrv::kDeinits);
    return TRUE;
}

DWORD_PTR HST_Open(DWORD_PTR, DWORD access, DWORD) {
    DWORD_PTR context = 0;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        const bool data = (access & hostdrv::kDataAccess) == hostdrv::kDataAccess;
        if (data && g_dataOpen) {
            SetLastError(hostdrv::kBusyError);
            return 0;
        }
        g_dataOpen |= data;
        auto open = std::make_shared<Open>();
        open->access = access;
        context = g_nextOpen++;
        g_opens[context] = open;
    }
    Count(hostdrv::kOpens);
    return context;
}

BOOL HST_Close(DWORD_PTR context) {
    {
        std::lock_guard<std::mutex> guard(g_lock);
        auto found = g_opens.find(context);
        if (found == g_opens.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        found->second->ended = true;
        if ((found->second->access & hostdrv::kDataAccess) == hostdrv::kDataAccess) {
            g_dataOpen = false;
        }
        g_opens.erase(found);
    }
    g_wake.notify_all();
    Count(hostdrv::kCloses);
    return TRUE;
}

DWORD HST_Read(DWORD_PTR context, LPVOID buffer, DWORD count) {
    const std::shared_ptr<Open> open = Find(context);
    if (!open) {
        SetLastError(ERROR_INVALID_HANDLE);
        return kFailure;
    }
    if (count != 0 && !Block(*open, [&] { return !open->echo.empty(); })) {
        return kFailure;
    }
    std::lock_guard<std::mutex> guard(g_lock);
    const DWORD taken = static_cast<DWORD>(std::min<size_t>(count, open->echo.size()));
    BYTE staged[4096];
    DWORD done = 0;
    while (done < taken) {
        const DWORD piece = std::min<DWORD>(taken - done, sizeof(staged));
        std::copy_n(open->echo.begin() + done, piece, staged);
        if (!CeSafeCopyMemory(static_cast<BYTE*>(buffer) + done, staged, piece)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return kFailure;
        }
        done += piece;
    }
    open->echo.erase(open->echo.begin(), open->echo.begin() + taken);
    return taken;
}

DWORD HST_Write(DWORD_PTR context, LPCVOID buffer, DWORD count) {
    const std::shared_ptr<Open> open = Find(context);
    if (!open) {
        SetLastError(ERROR_INVALID_HANDLE);
        return kFailure;
    }
    std::vector<BYTE> bytes(count);
    if (!CeSafeCopyMemory(bytes.data(), buffer, count)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return kFailure;
    }
    {
        std::lock_guard<std::mutex> guard(g_lock);
        open->echo.insert(open->echo.end(), bytes.begin(), bytes.end());
    }
    g_wake.notify_all();
    return count;
}

DWORD HST_Seek(DWORD_PTR context, LONG amount, DWORD type) {
    if (!Find(context)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return kFailure;
    }
    if (type != FILE_BEGIN || amount < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return kFailure;
    }
    return static_cast<DWORD>(amount);
}

BOOL HST_IOControl(DWORD_PTR context, DWORD code, PBYTE in, DWORD inSize, PBYTE out, DWORD outSize,
                   PDWORD returned) {
    const std::shared_ptr<Open> open = Find(context);
    if (!open) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    switch (code) {
        case IOCTL_PSL_NOTIFY:
            return NotifyExit(*open, in, inSize);
        case IOCTL_SERIAL_WAIT_ON_MASK: {
            // No event ever comes: only a release ends the wait.
            return Block(*open, [] { return false; }) ? TRUE : FALSE;
        }
        case hostdrv::kFail: {
            DWORD error = 0;
            if (in != nullptr && inSize >= sizeof(error)) {
                std::memcpy(&error, in, sizeof(error));
            }
            if (error != 0) {
                SetLastError(error);
            }
            return FALSE;
        }
        case hostdrv::kCopy: {
            const DWORD size = std::min(in != nullptr ? inSize : 0, out != nullptr ? outSize : 0);
            if (!CeSafeCopyMemory(out, in, size)) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return FALSE;
            }
            if (returned != nullptr) {
                *returned = size;
            }
            return TRUE;
        }
        default:
            SetLastError(ERROR_NOT_SUPPORTED);
            return FALSE;
    }
}

BOOL HST_PowerUp(DWORD_PTR) {
    return TRUE;
}

BOOL HST_PowerDown(DWORD_PTR) {
    return TRUE;
}

}  // extern "C"
