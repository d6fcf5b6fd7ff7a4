#include "commands.h"

#include <ceplatform.h>

#include <iomanip>
#include <string>

#include "store/stored_ports.h"
#include "store/virtual_port_key.h"

namespace {

constexpr DWORD kMessageChars = 512;
constexpr int kNameColumn = 7;   // "COM5: " and a blank
constexpr int kKindColumn = 10;  // "physical" and two blanks
constexpr int kStateColumn = 10;

std::string Narrow(const WCHAR* text) {
    std::string narrow;
    for (; *text != 0; ++text) {
        narrow.push_back(*text < 0x80 ? static_cast<char>(*text) : '?');
    }
    return narrow;
}

std::string NameOf(const PortEntry& entry) {
    if (entry.portNumber == kNoPortNumber) {
        return "-";
    }
    WCHAR name[kDeviceNameChars];
    wsprintfW(name, u"%s%d:", entry.prefix, entry.portNumber);
    return Narrow(name);
}

std::string NameOf(DWORD combinedNumber) {
    WCHAR name[kDeviceNameChars];
    FormatVirtualPortName(name, combinedNumber);
    return Narrow(name);
}

const char* StateOf(const PortEntry& entry) {
    if (entry.isDisabled != 0) {
        return "disabled";
    }
    return entry.isPhysical != 0 || entry.deviceHandle != nullptr ? "active" : "stopped";
}

void ListLine(PortList& ports, const PortEntry& entry, std::ostream& out) {
    const PortEntry* partner = ports.FindPartner(&entry);
    const bool virtualPort = entry.isPhysical == 0;
    // Only a running virtual port can be asked; a physical port's driver does not know the question.
    const char* open =
        virtualPort && entry.deviceHandle != nullptr ? (ports.IsPortOpen(&entry) ? "open" : "closed") : "-";
    out << std::left << std::setw(kNameColumn) << NameOf(entry) << std::setw(kKindColumn)
        << (virtualPort ? "virtual" : "physical") << std::setw(kNameColumn)
        << (partner != nullptr ? NameOf(*partner) : "-") << std::setw(kStateColumn) << StateOf(entry) << open;
    if (entry.friendlyName[0] != 0) {
        out << "  " << Narrow(entry.friendlyName);
    }
    out << '\n';
}

PortEntry* FindVirtualPort(PortList& ports, DWORD combinedNumber) {
    for (int i = 0; i < ports.Count(); ++i) {
        PortEntry* entry = ports.At(i);
        if (entry->isPhysical == 0 && CombinedNumberOf(*entry) == static_cast<LONG>(combinedNumber)) {
            return entry;
        }
    }
    return nullptr;
}

// "process 1234" as the device tells who holds the port open; "a program" when it cannot.
std::string HolderOf(const PortEntry& entry) {
    const std::string name = NameOf(entry);
    const std::u16string wide(name.begin(), name.end());
    DWORD process = 0;
    return CeGetDeviceUsers(wide.c_str(), &process, 1) != 0 ? "process " + std::to_string(process)
                                                            : "a program";
}

int Refuse(std::ostream& err, const std::string& why) {
    err << "tulkcfg: " << why << '\n';
    return kExitRefused;
}

}  // namespace

std::string ErrorWords(DWORD error) {
    WCHAR text[kMessageChars];
    DWORD chars = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                 0, text, kMessageChars, nullptr);
    if (chars == 0) {
        return "error " + std::to_string(error);
    }
    while (chars > 0 && (text[chars - 1] == u'\r' || text[chars - 1] == u'\n')) {
        --chars;
    }
    text[chars] = 0;
    return Narrow(text);
}

int ListPorts(PortList& ports, std::ostream& out) {
    for (LONG slot = 0; slot < kVirtualPortSlots; ++slot) {
        if (const PortEntry* entry = ports.FindByArrayIndex(slot)) {
            ListLine(ports, *entry, out);
        }
    }
    for (int i = 0; i < ports.Count(); ++i) {
        if (ports.At(i)->isPhysical != 0) {
            ListLine(ports, *ports.At(i), out);
        }
    }
    return kExitDone;
}

int AddPair(PortList& ports, const Command& command, std::ostream& out, std::ostream& err) {
    DWORD numbers[2] = {command.ports[0], command.ports[1]};
    if (command.portCount == 0) {
        // The two names the add-pair dialog starts on: the first two free ones.
        int found = 0;
        for (DWORD number = 0; number < kCombinedNumbers && found < 2; ++number) {
            if (ports.IsPortNumberFree(number)) {
                numbers[found++] = number;
            }
        }
        if (found < 2) {
            return Refuse(err, "no two free port names are left");
        }
    }
    for (const DWORD number : numbers) {
        if (!ports.IsPortNumberFree(number)) {
            return Refuse(err, NameOf(number) + " is taken (tulkcfg list shows the ports)");
        }
    }
    if (ports.FreePairSlot() < 0) {
        return Refuse(err, "all 20 driver slots are taken: delete a pair first");
    }
    SetLastError(ERROR_SUCCESS);
    const PairIndices pair = ports.CreatePair(numbers[0], numbers[1]);
    if (pair.first < 0) {
        const DWORD error = GetLastError();
        return Refuse(err, "cannot add " + NameOf(numbers[0]) + " and " + NameOf(numbers[1]) +
                               (error != ERROR_SUCCESS ? ": " + ErrorWords(error) : std::string()));
    }
    out << NameOf(numbers[0]) << ' ' << NameOf(numbers[1]) << '\n';
    // The pair is kept: the device starts it again at its next start.
    KeepStartingStoredPorts();
    return kExitDone;
}

int DeletePair(PortList& ports, const Command& command, std::ostream& out, std::ostream& err) {
    const std::string name = NameOf(command.ports[0]);
    PortEntry* entry = FindVirtualPort(ports, command.ports[0]);
    if (entry == nullptr) {
        return Refuse(err, ports.IsPortNumberFree(command.ports[0])
                               ? name + " is no port (tulkcfg list shows the ports)"
                               : name + " is a physical port: only pairs of virtual ports are deleted");
    }
    PortEntry* partner = ports.FindPartner(entry);
    if (!command.force) {
        for (const PortEntry* end : {entry, partner}) {
            if (end != nullptr && ports.IsPortOpen(end) != 0) {
                return Refuse(err, NameOf(*end) + " is open in " + HolderOf(*end) +
                                       ": delete --force deletes it anyway");
            }
        }
    }
    std::string deleted;
    for (PortEntry* end : {entry, partner}) {
        if (end == nullptr) {
            continue;
        }
        const std::string endName = NameOf(*end);
        SetLastError(ERROR_SUCCESS);
        if (ports.DeletePort(end) == 0) {
            const DWORD error = GetLastError();
            if (!deleted.empty()) {
                out << "deleted " << deleted << '\n';
            }
            return Refuse(err, "cannot delete " + endName +
                                   (error != ERROR_SUCCESS ? ": " + ErrorWords(error) : std::string()));
        }
        deleted += deleted.empty() ? endName : " " + endName;
    }
    out << "deleted " << deleted << '\n';
    return kExitDone;
}

int StartKeptPorts(std::ostream& out, std::ostream& err) {
    int kept = 0;
    int failed = 0;
    ActivateStoredPorts([&](const StoredPortStart& start) {
        ++kept;
        const std::string name =
            start.name[0] != 0 ? Narrow(start.name) : "slot " + std::to_string(start.slot);
        if (start.device != nullptr) {
            out << "started " << name << '\n';
        } else if (start.alreadyRunning) {
            out << name << " runs already\n";
        } else {
            ++failed;
            err << "tulkcfg: cannot start " << name << ": " << ErrorWords(start.error) << '\n';
        }
    });
    if (kept == 0) {
        out << "no pairs are kept in the registry: nothing to start\n";
    }
    return failed == 0 ? kExitDone : kExitRefused;
}
