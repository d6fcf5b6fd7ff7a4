// The guards of a call on a handle: a reference that keeps the record alive for the length of the call (an
// OpenContext keeps its port alive too), and the count in ActiveCalls that a close waits for.
#pragma once

#include <windows.h>

#include "core/live_records.h"
#include "core/port_state.h"

// A reference held for the length of one call on a handle the device manager passed in; empty when the
// handle names no live record.
template <class Record, Record* (*Reference)(DWORD_PTR), void (*Release)(Record*)>
class CallRef {
  public:
    explicit CallRef(DWORD_PTR handle) : record_(Reference(handle)) {}
    ~CallRef() {
        if (record_ != nullptr) {
            Release(record_);
        }
    }
    CallRef(const CallRef&) = delete;
    CallRef& operator=(const CallRef&) = delete;

    Record* get() const { return record_; }

  private:
    Record* record_;
};

using PortRef = CallRef<PortState, ReferencePortState, ReleasePortState>;

class ContextRef : public CallRef<OpenContext, ReferenceOpenContext, ReleaseOpenContext> {
  public:
    using CallRef::CallRef;
    PortState* port() const { return get()->Device; }
    // The handle is live, not closed, and its port has open handles.
    bool IsOpen() const {
        return get() != nullptr && get()->Closed.load() == 0 && get()->Device->OpenCount.load() != 0;
    }
};

class ActiveCall {
  public:
    explicit ActiveCall(OpenContext* context) : context_(context) { context_->ActiveCalls.fetch_add(1); }
    ~ActiveCall() { context_->ActiveCalls.fetch_sub(1); }
    ActiveCall(const ActiveCall&) = delete;
    ActiveCall& operator=(const ActiveCall&) = delete;

  private:
    OpenContext* context_;
};

constexpr DWORD kDataAccess = GENERIC_READ | GENERIC_WRITE;

inline bool HasDataAccess(const OpenContext* context) {
    return (context->AccessCode & kDataAccess) != 0;
}

// The checks a read or a write makes before it starts: a handle open on an open port (else
// ERROR_INVALID_HANDLE) with the access the transfer needs (else ERROR_INVALID_ACCESS).
inline bool MayTransfer(const ContextRef& call, DWORD access) {
    if (!call.IsOpen()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if ((call.get()->AccessCode & access) == 0) {
        SetLastError(ERROR_INVALID_ACCESS);
        return false;
    }
    return true;
}
