// A stream driver for the device manager's tests. It records what it is called with and answers it through
// control codes of its own, echoes written bytes back on reads of the same open, and can be told through its
// device key to fail Init or Open. A read with nothing to return blocks until data arrives, or until Close
// or Deinit releases it.
#include <windows.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/devices/test_driver/test_driver_protocol.h"

namespace {

constexpr DWORD kFailure = 0xFFFFFFFFu;
// Contexts are small numbers, not pointers, so that a stale one is recognised and refused.
constexpr DWORD_PTR kFirstContext = 0x1000;

struct DeviceState {
    testdrv::Info info{};
    bool failOpen = false;
    DWORD failOpenError = 0;
    testdrv::LastCall last{};
    HANDLE linger = nullptr;
};

struct OpenState {
    std::shared_ptr<DeviceState> device;
    DWORD access = 0;
    DWORD share = 0;
    std::deque<BYTE> echo;
    bool closed = false;
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

void BumpCount(LPCWSTR name) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, testdrv::kCountsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS) {
        DWORD count = 0;
        ReadValue(key, name, REG_DWORD, &count, sizeof(count));
        ++count;
        RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count), sizeof(count));
        RegCloseKey(key);
    }
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

BOOL CountPower(DWORD_PTR context, DWORD testdrv::Info::*counter) {
    return With(g_devices, context, BOOL{FALSE}, [&](DeviceState& device, auto&) {
        ++(device.info.*counter);
        return TRUE;
    });
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HANDLE module, DWORD reason, LPVOID reserved) {
    BumpCount(reason == DLL_PROCESS_ATTACH ? testdrv::kAttaches : testdrv::kDetaches);
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
    WCHAR other[16] = {};
    const bool refuse = ReadValue(key, testdrv::kFailInit, REG_DWORD, &failInit, sizeof(failInit));
    device->failOpen = ReadValue(key, testdrv::kFailOpen, REG_DWORD, &device->failOpenError, sizeof(DWORD));
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
    std::lock_guard<std::mutex> guard(g_lock);
    ++g_initsSinceLoad;
    g_devices[g_nextContext] = device;
    return g_nextContext++;
}

BOOL TST_Deinit(DWORD_PTR context) {
    return With(g_devices, context, BOOL{FALSE}, [&](DeviceState& device, auto&) {
        g_devices.erase(context);
        std::erase_if(g_opens, [&](auto& entry) {
            const bool ofDevice = entry.second->device.get() == &device;
            entry.second->closed |= ofDevice;
            return ofDevice;
        });
        g_wake.notify_all();
        return TRUE;
    });
}

DWORD_PTR TST_Open(DWORD_PTR context, DWORD access, DWORD share) {
    return With(g_devices, context, DWORD_PTR{0}, [&](DeviceState& device, auto&) -> DWORD_PTR {
        if (device.failOpen) {
            if (device.failOpenError != 0) {
                SetLastError(device.failOpenError);
            }
            return 0;
        }
        ++device.info.opens;
        g_opens[g_nextContext] =
            std::make_shared<OpenState>(OpenState{g_devices[context], access, share, {}, false});
        return g_nextContext++;
    });
}

BOOL TST_Close(DWORD_PTR context) {
    return With(g_opens, context, BOOL{FALSE}, [&](OpenState& open, auto&) {
        open.closed = true;
        ++open.device->info.closes;
        g_opens.erase(context);
        g_wake.notify_all();
        return TRUE;
    });
}

DWORD TST_Read(DWORD_PTR context, LPVOID buffer, DWORD count) {
    return With(g_opens, context, kFailure, [&](OpenState& open, std::unique_lock<std::mutex>& lock) {
        ++open.device->info.blockedReads;
        g_wake.wait(lock, [&] { return count == 0 || !open.echo.empty() || open.closed; });
        --open.device->info.blockedReads;
        if (open.closed) {
            const HANDLE linger = open.device->linger;
            lock.unlock();
            if (linger != nullptr) {
                WaitForSingleObject(linger, INFINITE);
            }
            SetLastError(ERROR_OPERATION_ABORTED);
            return kFailure;
        }
        const DWORD taken = static_cast<DWORD>(std::min<size_t>(count, open.echo.size()));
        std::copy_n(open.echo.begin(), taken, static_cast<BYTE*>(buffer));
        open.echo.erase(open.echo.begin(), open.echo.begin() + taken);
        return taken;
    });
}

DWORD TST_Write(DWORD_PTR context, LPCVOID buffer, DWORD count) {
    return With(g_opens, context, kFailure, [&](OpenState& open, auto&) {
        const BYTE* bytes = static_cast<const BYTE*>(buffer);
        open.echo.insert(open.echo.end(), bytes, bytes + count);
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
    return With(g_opens, context, BOOL{FALSE}, [&](OpenState& open, auto&) {
        DeviceState& device = *open.device;
        DWORD argument = 0;
        if (in != nullptr && inSize >= sizeof(argument)) {
            std::memcpy(&argument, in, sizeof(argument));
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
        }
        device.last = testdrv::LastCall{device.last.calls + 1, code,           inSize, outSize,
                                        in != nullptr,         out != nullptr, {}};
        if (in != nullptr) {
            std::memcpy(device.last.in, in, std::min<size_t>(inSize, sizeof(device.last.in)));
        }
        for (DWORD i = 0; out != nullptr && i < outSize; ++i) {
            out[i] = static_cast<BYTE>(testdrv::kOutputBase + i);
        }
        if (returned != nullptr) {
            *returned = outSize;
        }
        return TRUE;
    });
}

BOOL TST_PowerDown(DWORD_PTR context) {
    return CountPower(context, &testdrv::Info::powerDowns);
}

BOOL TST_PowerUp(DWORD_PTR context) {
    return CountPower(context, &testdrv::Info::powerUps);
}

}  // extern "C"
