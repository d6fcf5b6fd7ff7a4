// The port of the device as the bridge holds it for one session: opened by name for reading and writing,
// reads that wait for the first byte and return what arrived, settings changed through the comm API and read
// back, and our own lines (DTR, RTS, break) as we last set them, since the API cannot read them back.
#pragma once

#include <functional>
#include <string>

#include <windows.h>

class BridgePort {
  public:
    BridgePort() = default;
    ~BridgePort();
    BridgePort(const BridgePort&) = delete;
    BridgePort& operator=(const BridgePort&) = delete;

    // Opens name ("COM5:") and makes it carry bytes unchanged. False with *error, a sentence for a person
    // that starts with the port's name ("COM5: in use by another program").
    bool Open(const std::string& name, std::string* error);
    // Drops DTR, RTS and break, then closes the port, which ends every read, write and event wait still in
    // progress on it. Idempotent.
    void Close();
    HANDLE handle() const { return handle_; }
    const std::string& name() const { return name_; }

    // The settings in effect; a DCB of zeros when the port cannot say.
    DCB Settings();
    // Runs edit on the settings in effect and applies them. When the port refuses, it keeps (or is given
    // back) what it had, and the answer is false with GetLastError. Either way *inEffect, when given,
    // receives the settings then in effect.
    bool Change(const std::function<void(DCB&)>& edit, DCB* inEffect = nullptr);

    // Our DTR and RTS: on from the open. A line under handshake refuses to be set (the driver moves it); the
    // answer is then false with ERROR_INVALID_PARAMETER.
    bool SetDtr(bool on);
    bool SetRts(bool on);
    bool SetBreak(bool on);
    bool dtr() const { return dtr_; }
    bool rts() const { return rts_; }
    bool breakOn() const { return break_; }

    // MS_* bits of the lines from the other end; 0 when the port cannot say.
    DWORD ModemStatus();
    // The CE_* errors since the last call (and clears them) and the port's queues; zeros when it cannot say.
    DWORD TakeErrors(COMSTAT* status);
    void Purge(DWORD flags);

  private:
    bool SetLine(bool* line, bool on, bool handshake, const std::function<void(DCB&)>& edit);

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    std::string name_;
    bool dtr_ = true;
    bool rts_ = true;
    bool break_ = false;
};

// "COM5:" for "COM5" or "com5:"; the device compares names without case.
std::string PortName(std::string text);
