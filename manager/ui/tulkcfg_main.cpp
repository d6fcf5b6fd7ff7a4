// The program's one port list, built before WinMain runs: the registry write test and, when it passes,
// the first enumeration happen at start-up whatever the command line says.
#include "program_ports.h"

namespace {

PortList g_ports;

}  // namespace

PortList& ProgramPorts() {
    return g_ports;
}
