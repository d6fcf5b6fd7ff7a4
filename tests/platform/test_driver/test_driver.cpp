// The test stream driver (see test_driver_protocol.h).
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

#include "platform/test_driver/test_driver_protocol.h"

namespace {

constexpr DWORD kFailure = 0xFFFFFFFFu;
// Contexts are small numbers, not pointers, so that a stale one is recognised and refused.
constexpr DWORD_PTR kFirstContext = 0x1000;

struct DeviceState {
    testdrv::Info info{};
    bool failOpen = false;
    DWORD failOpenError = 0;
    bool exclusive = false;
    bool dataOpen = false;  // an open with kDataAccess holds the device
    testdrv::LastCall last{};
    HANDLE linger = nullptr;
};

struct OpenState {
    std::shared_ptr<DeviceState> device;
    DWORD access = 0;
    DWORD share = 0;
    std::deque<BYTE> echo;
    bool closed = false;    // closed or its device gone
    bool notified = false;  // its process exits
};

// All of the module's state; a fresh load starts from these initial values.
std::mutex g_lock;
std::condition_variable g_wake;
std::map<DWORD_PTR, std::shared_ptr<DeviceState>> g_devices;
std::map<DWORD_PTR, std::shared_ptr<OpenState>> g_opens;
DWORD_PTR g_nextContext = kFirstContext;
DWORD g_initsSinceLoad = 0;

bool ReadValue(HKEY key, LPCWSTR name, DWORD type, void* data, DWORD size) {
    DWORD stored = 0;
    return RegQueryValueExW(key, name, nullptr, &stored, static_cast<LPBYTE>(data), &size) == ERROR_SUCCESS &&
           stored == type;
}

// Counts go to the registry outside the driver's lock: the registry may be slow, the lock is not. With
// delta 0 the value is set to value instead.
void Count(LPCWSTR name, int delta = 1, DWORD value = 0) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, testdrv::kCountsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    static std::mutex counting;
    std::lock_guard<std::mutex> guard(counting);
    if (delta != 0) {
        ReadValue(key, name, REG_DWORD, &value, sizeof(value));
        value += static_cast<DWORD>(delta);
    }
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    RegCloseKey(key);
}

BOOL Counted(LPCWSTR name, BOOL done) {
    if (done) {
        Count(name);
    }
    return done;
}

// The device key named by the active key's Key value, found as a real driver finds its settings.
HKEY OpenDeviceKey(LPCWSTR activeKey) {
    HKEY active = nullptr;
    HKEY device = nullptr;
    WCHAR path[256] = {};
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, activeKey, 0, KEY_READ, &active) == ERROR_SUCCESS) {
        if (ReadValue(active, u"Key", REG_SZ, path, sizeof(path) - sizeof(WCHAR))) {
            RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &device);
        }
        RegCloseKey(active);
    }
    return device;
}

// Runs body under the lock for a known context of the map; failure with kUnknownContextError otherwise.
template <class State, class Result, class Body>
Result With(std::map<DWORD_PTR, std::shared_ptr<State>>& map, DWORD_PTR context, Result failure, Body body) {
    std::unique_lock<std::mutex> lock(g_lock);
    auto found = map.find(context);
    if (found == map.end()) {
        SetLastError(testdrv::kUnknownContextError);
        return failure;
    }
    const std::shared_ptr<State> state = found->second;  // outlives an erase by Close or Deinit
    return body(*state, lock);
}

// Waits under the lock until ready() or the open is released by its end or its process's exit; false
// (kReleasedError) when released. A read released by Close or Deinit waits for the device's linger event.
template <class Ready>
bool Block(OpenState& open, std::unique_lock<std::mutex>& lock, Ready ready) {
    if (ready()) {
        return true;
    }
    // Only calls that really wait are counted: a count is a registry write, which the host saves.
    lock.unlock();
    Count(testdrv::kBlocked);
    lock.lock();
    g_wake.wait(lock, [&] { return ready() || open.closed || open.notified; });
    const bool released = !ready();
    const bool notified = released && open.notified;
    const HANDLE linger = released && !notified ? open.device->linger : nullptr;
    lock.unlock();
    Count(testdrv::kBlocked, -1);
    if (notified) {
        Count(testdrv::kReleased);
    }
    if (linger != nullptr) {
        WaitForSingleObject(linger, INFINITE);
    }
    lock.lock();
    if (released) {
        SetLastError(testdrv::kReleasedError);
    }
    return !released;
}

BOOL NotifyExit(OpenState& open, PBYTE in, DWORD inSize, std::unique_lock<std::mutex>& lock) {
    DEVICE_PSL_NOTIFY packet{};
    if (in == nullptr || inSize != sizeof(packet) || !CeSafeCopyMemory(&packet, in, sizeof(packet)) ||
        packet.dwSize != sizeof(packet) || packet.dwFlags != DLL_PROCESS_EXITING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    open.notified = true;
    g_wake.notify_all();
    lock.unlock();
    Count(testdrv::kExitPid, 0, packet.hProc);
    Count(testdrv::kExitNotices);
    return TRUE;
}

template <class Record>
BOOL Answer(const Record& record, PBYTE out, DWORD outSize, PDWORD returned) {
    if (out == nullptr || outSize < sizeof(Record)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(out, &record, sizeof(Record));
    if (returned != nullptr) {
        *returned = sizeof(Record);
    }
    return TRUE;
}

BOOL Copy(PBYTE in, DWORD inSize, PBYTE out, DWORD outSize, PDWORD returned) {
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

// Records a control call of a code the driver does not know and fills its output with the pattern.
BOOL Record(DeviceState& device, DWORD code, PBYTE in, DWORD inSize, PBYTE out, DWORD outSize,
            PDWORD returned) {
    device.last =
        testdrv::LastCall{device.last.calls + 1, code, inSize, outSize, in != nullptr, out != nullptr, {}};
    if (in != nullptr) {
        CeSafeCopyMemory(device.last.in, in, std::min<DWORD>(inSize, sizeof(device.last.in)));
    }
    for (DWORD i = 0; out != nullptr && i < outSize; ++i) {
        out[i] = static_cast<BYTE>(testdrv::kOutputBase + i);
    }
    if (returned != nullptr) {
        *returned = outSize;
    }
    return TRUE;
}

BOOL CountPower(DWORD_PTR context, DWORD testdrv::Info::*counter) {
    return With(g_devices, context, BOOL{FALSE}, [&](DeviceState& device, auto&) {
        ++(device.info.*counter);
        return TRUE;
    });
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HANDLE module, DWORD reason, LPVOID reserved) {
    Count(reason == DLL_PROCESS_ATTACH ? testdrv::kAttaches : testdrv::kDetaches);
#ifdef TESTDRV_REFUSE_ATTACH
    return reason != DLL_PROCESS_ATTACH;
#else
    return TRUE;
#endif
}

DWORD_PTR TST_Init(LPCWSTR activeKey, DWORD_PTR clientInfo) {
    auto device = std::make_shared<DeviceState>();
    device->info.clientInfo = static_cast<DWORD>(clientInfo);
    lstrcpynW(device->info.activeKey, activeKey, std::size(device->info.activeKey));
    HKEY key = OpenDeviceKey(activeKey);
    if (key == nullptr) {
        SetLastError(ERROR_BADKEY);
        return 0;
    }
    DWORD failInit = 0;
    DWORD exclusive = 0;
    WCHAR other[16] = {};
    const bool refuse = ReadValue(key, testdrv::kFailInit, REG_DWORD, &failInit, sizeof(failInit));
    device->failOpen = ReadValue(key, testdrv::kFailOpen, REG_DWORD, &device->failOpenError, sizeof(DWORD));
    device->exclusive =
        ReadValue(key, testdrv::kExclusive, REG_DWORD, &exclusive, sizeof(exclusive)) && exclusive != 0;
    const bool openOther = ReadValue(key, testdrv::kOpenInInit, REG_SZ, other, sizeof(other) - sizeof(WCHAR));
    RegCloseKey(key);
    if (refuse) {
        if (failInit != 0) {
            SetLastError(failInit);
        }
        return 0;
    }
    if (openOther) {
        HANDLE file = CreateFileW(other, 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        device->info.openedInInit = file != INVALID_HANDLE_VALUE && CloseHandle(file);
    }
    Count(testdrv::kInits);
    std::lock_guard<std::mutex> guard(g_lock);
    ++g_initsSinceLoad;
    g_devices[g_nextContext] = device;
    return g_nextContext++;
}

BOOL TST_Deinit(DWORD_PTR context) {
    return Counted(testdrv::kDeinits, With(g_devices, context, BOOL{FALSE}, [&](DeviceState& device, auto&) {
                       g_devices.erase(context);
                       std::erase_if(g_opens, [&](auto& entry) {
                           const bool ofDevice = entry.second->device.get() == &device;
                           entry.second->closed |= ofDevice;
                           return ofDevice;
                       });
                       g_wake.notify_all();
                       return TRUE;
                   }));
}

DWORD_PTR TST_Open(DWORD_PTR context, DWORD access, DWORD share) {
    return With(g_devices, context, DWORD_PTR{0}, [&](DeviceState& device, auto&) -> DWORD_PTR {
        const bool data = (access & testdrv::kDataAccess) == testdrv::kDataAccess;
        if (device.failOpen || (device.exclusive && data && device.dataOpen)) {
            const DWORD error = device.failOpen ? device.failOpenError : testdrv::kBusyError;
            if (error != 0) {
                SetLastError(error);
            }
            return 0;
        }
        device.dataOpen |= device.exclusive && data;
        ++device.info.opens;
        g_opens[g_nextContext] =
            std::make_shared<OpenState>(OpenState{g_devices[context], access, share, {}, false, false});
        return g_nextContext++;
    });
}

BOOL TST_Close(DWORD_PTR context) {
    return Counted(testdrv::kCloses, With(g_opens, context, BOOL{FALSE}, [&](OpenState& open, auto&) {
                       open.closed = true;
                       ++open.device->info.closes;
                       if ((open.access & testdrv::kDataAccess) == testdrv::kDataAccess) {
                           open.device->dataOpen = false;
                       }
                       g_opens.erase(context);
                       g_wake.notify_all();
                       return TRUE;
                   }));
}

DWORD TST_Read(DWORD_PTR context, LPVOID buffer, DWORD count) {
    return With(g_opens, context, kFailure, [&](OpenState& open, std::unique_lock<std::mutex>& lock) {
        if (count != 0 && !Block(open, lock, [&] { return !open.echo.empty(); })) {
            return kFailure;
        }
        const DWORD taken = static_cast<DWORD>(std::min<size_t>(count, open.echo.size()));
        const std::vector<BYTE> bytes(open.echo.begin(), open.echo.begin() + taken);
        if (!CeSafeCopyMemory(buffer, bytes.data(), taken)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return kFailure;
        }
        open.echo.erase(open.echo.begin(), open.echo.begin() + taken);
        return taken;
    });
}

DWORD TST_Write(DWORD_PTR context, LPCVOID buffer, DWORD count) {
    std::vector<BYTE> bytes(count);
    if (!CeSafeCopyMemory(bytes.data(), buffer, count)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return kFailure;
    }
    return With(g_opens, context, kFailure, [&](OpenState& open, auto&) {
        open.echo.insert(open.echo.end(), bytes.begin(), bytes.end());
        g_wake.notify_all();
        return count;
    });
}

// Positions are absolute: only FILE_BEGIN with a non-negative amount succeeds.
DWORD TST_Seek(DWORD_PTR context, LONG amount, DWORD type) {
    return With(g_opens, context, kFailure, [&](OpenState&, auto&) {
        if (type != FILE_BEGIN || amount < 0) {
            SetLastError(testdrv::kNegativeSeekError);
            return kFailure;
        }
        return static_cast<DWORD>(amount);
    });
}

BOOL TST_IOControl(DWORD_PTR context, DWORD code, PBYTE in, DWORD inSize, PBYTE out, DWORD outSize,
                   PDWORD returned) {
    return With(g_opens, context, BOOL{FALSE}, [&](OpenState& open, std::unique_lock<std::mutex>& lock) {
        DeviceState& device = *open.device;
        DWORD argument = 0;
        if (in != nullptr && inSize >= sizeof(argument)) {
            CeSafeCopyMemory(&argument, in, sizeof(argument));
        }
        switch (code) {
            case testdrv::kGetInfo: {
                testdrv::Info info = device.info;
                info.initsSinceLoad = g_initsSinceLoad;
                info.openAccess = open.access;
                info.openShare = open.share;
                return Answer(info, out, outSize, returned);
            }
            case testdrv::kGetLastCall:
                return Answer(device.last, out, outSize, returned);
            case testdrv::kFail:
                if (argument != 0) {
                    SetLastError(argument);
                }
                return FALSE;
            case testdrv::kSetLinger:
                device.linger = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(argument));
                return TRUE;
            case testdrv::kCopy:
                return Copy(in, inSize, out, outSize, returned);
            case IOCTL_PSL_NOTIFY:
                return NotifyExit(open, in, inSize, lock);
            case IOCTL_SERIAL_WAIT_ON_MASK:
                // No event ever comes: only a release ends the wait.
                return Block(open, lock, [] { return false; }) ? TRUE : FALSE;
        }
        return Record(device, code, in, inSize, out, outSize, returned);
    });
}

BOOL TST_PowerDown(DWORD_PTR context) {
    return CountPower(context, &testdrv::Info::powerDowns);
}

BOOL TST_PowerUp(DWORD_PTR context) {
    return CountPower(context, &testdrv::Info::powerUps);
}

}  // extern "C"
