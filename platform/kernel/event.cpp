#include <map>
#include <new>
#include <string>

#include "kernel/faults.h"
#include "kernel/waitable.h"
#include "kernel/wide_string.h"

namespace ce {
namespace {

class EventObject : public Waitable {
  public:
    EventObject(bool manualReset, bool signaled)
        : Waitable(ObjectType::Event), manualReset_(manualReset), signaled_(signaled) {}

    bool IsSignaledLocked() const override { return signaled_; }
    void AcquireLocked() override {
        if (!manualReset_) {
            signaled_ = false;
        }
    }

    void SetLocked() {
        if (manualReset_) {
            signaled_ = true;
            SatisfyWaitersLocked(true);
        } else if (SatisfyWaitersLocked(false) == 0) {
            signaled_ = true;  // nobody waits: the next wait takes it
        }
    }
    // Releases the threads waiting at this moment (one for auto-reset) and leaves the event clear.
    void PulseLocked() {
        SatisfyWaitersLocked(manualReset_);
        signaled_ = false;
    }
    void ResetLocked() { signaled_ = false; }

  private:
    const bool manualReset_;
    bool signaled_;  // guarded by KernelLock()
};

// Named events are shared by name, case-insensitively; guarded by KernelLock().
std::map<std::u16string, std::weak_ptr<EventObject>>& NamedEvents() {
    static auto* names = new std::map<std::u16string, std::weak_ptr<EventObject>>;
    return *names;
}

template <class Operation>
BOOL WithEvent(HANDLE handle, Operation operation) {
    std::shared_ptr<EventObject> event = Lookup<EventObject>(handle, ObjectType::Event);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    KernelSection section;
    operation(*event);
    return TRUE;
}

}  // namespace
}  // namespace ce

extern "C" {

HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                           LPCWSTR lpName) {
    DWORD error;
    if (ce::FaultFires(ce::FaultPoint::CreateEvent, &error)) {
        SetLastError(error);
        return nullptr;
    }
    if (lpName != nullptr && lstrlenW(lpName) > MAX_PATH) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    try {
        std::shared_ptr<ce::EventObject> event;
        bool existed = false;
        if (lpName != nullptr && lpName[0] != 0) {
            std::lock_guard<std::mutex> guard(ce::KernelLock());
            std::weak_ptr<ce::EventObject>& slot = ce::NamedEvents()[ce::FoldCase(lpName)];
            event = slot.lock();
            existed = event != nullptr;
            if (!existed) {
                event = std::make_shared<ce::EventObject>(bManualReset != FALSE, bInitialState != FALSE);
                slot = event;
            }
        } else {
            event = std::make_shared<ce::EventObject>(bManualReset != FALSE, bInitialState != FALSE);
        }
        HANDLE handle = ce::InsertHandle(event);
        if (handle != nullptr) {
            // As on Win32, a successful create reports whether the name already existed.
            SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
        }
        return handle;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

BOOL WINAPI SetEvent(HANDLE hEvent) {
    return ce::WithEvent(hEvent, [](ce::EventObject& event) { event.SetLocked(); });
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
    return ce::WithEvent(hEvent, [](ce::EventObject& event) { event.ResetLocked(); });
}

BOOL WINAPI PulseEvent(HANDLE hEvent) {
    return ce::WithEvent(hEvent, [](ce::EventObject& event) { event.PulseLocked(); });
}

}  // extern "C"
