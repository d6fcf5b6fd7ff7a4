#include "port_link.h"

#include "error_text.h"
#include "say.h"

namespace {

// At the end, what the Linux side sent still reaches the port unless the port takes nothing for this long.
constexpr DWORD kFinishQuietMs = 500;

}  // namespace

std::unique_ptr<PortLink> PortLink::Open(const std::string& name, Wakeup& wakeup, std::string* error) {
    std::unique_ptr<PortLink> link(new PortLink);
    if (!link->port_.Open(name, error)) {
        return nullptr;
    }
    link->pump_ = std::make_unique<PortPump>(link->port_.handle(), wakeup);
    link->pump_->Start();
    return link;
}

PortLink::~PortLink() {
    pump_->BeginStop();
    port_.Purge(PURGE_RXABORT | PURGE_TXABORT);
    port_.Close();  // also ends a read or write that started after the purge
    pump_->Join();
}

void PortLink::Finish() {
    pump_->Drain(kFinishQuietMs);
}

bool PortLink::Failed(std::string* why) {
    DWORD error = 0;
    if (!pump_->Failed(&error)) {
        return false;
    }
    *why = port_.name() + " failed: " + Win32ErrorText(error);
    return true;
}

void PortLink::NoteDropped() {
    if (pump_->TakeDropped() != 0 && !saidDropped_) {
        saidDropped_ = true;
        Say(port_.name() + " nobody has the other end open: what is sent to it is lost");
    }
}
