// The program-wide port list. The program builds it as a static object before WinMain runs
// (tulkcfg_main.cpp); the dialogs and WinMain reach it only through this function.
#pragma once

#include "store/port_list.h"

PortList& ProgramPorts();
