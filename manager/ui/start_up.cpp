// WinMain: the commands for scripts (list, add, delete, --help); one manager window per device; "start"
// re-activates the stored virtual ports and ends; the window needs a terminal; without registry access the
// manager refuses to run; otherwise it loads its icons and runs the main dialog until closed.
#include <ceplatform_ui.h>

#include <iostream>
#include <string>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "dialogs.h"
#include "help_address.h"
#include "program_ports.h"
#include "resource_ids.h"
#include "store/stored_ports.h"
#include "texts.h"
#include "ui_state.h"

namespace {

HICON LoadProgramIcon(int id) {
    return LoadIconW(g_ui.instance, MAKEINTRESOURCEW(id));
}

void LoadIcons() {
    g_ui.icons.userGuide = LoadProgramIcon(IDI_USER_GUIDE);
    g_ui.icons.addPair = LoadProgramIcon(IDI_ADD_PAIR);
    g_ui.icons.deletePair = LoadProgramIcon(IDI_DELETE_PAIR);
    g_ui.icons.deletePairOff = LoadProgramIcon(IDI_DELETE_PAIR_OFF);
    g_ui.icons.device = LoadProgramIcon(IDI_DEVICE);
    g_ui.icons.portEven = LoadProgramIcon(IDI_PORT_EVEN);
    g_ui.icons.portOdd = LoadProgramIcon(IDI_PORT_ODD);
    g_ui.icons.physicalPort = LoadProgramIcon(IDI_PHYSICAL_PORT);
    g_ui.icons.portDisabled = LoadProgramIcon(IDI_PORT_DISABLED);
    g_ui.icons.portEnable = LoadProgramIcon(IDI_PORT_ENABLE);
    g_ui.icons.toggleOff = LoadProgramIcon(IDI_TOGGLE_OFF);
}

// The copy already running comes to the front, whatever this one was asked to do; add and delete would
// change the ports under its window, so they are refused instead.
int AnswerRunningCopy(HWND running, CommandKind kind) {
    DWORD process = 0;
    GetWindowThreadProcessId(running, &process);
    const std::string where =
        "the manager's window is open on this device (process " + std::to_string(process) + ")";
    if (kind == CommandKind::Add || kind == CommandKind::Delete) {
        std::cerr << "tulkcfg: " << where << ": change the pairs there, or close it first\n";
        return kExitRefused;
    }
    ShowWindow(running, SW_SHOW);
    SetForegroundWindow(running);
    std::cerr << "tulkcfg: " << where << "; brought it to the front"
              << (kind == CommandKind::Start ? ", nothing started" : "") << '\n';
    return kExitDone;
}

// Add and delete change the registry; without write access the store lists nothing either.
bool MayChangePorts() {
    if (ProgramPorts().RegistryWritable() == 0) {
        std::cerr << "tulkcfg: cannot write the device's registry (Drivers\\BuiltIn)\n";
        return false;
    }
    ListStoppedStoredPorts(ProgramPorts());
    return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
    Command command;
    std::string error;
    if (!ParseCommandLine(commandLine, &command, &error)) {
        std::cerr << "tulkcfg: " << error << " (tulkcfg --help shows the usage)\n";
        return kExitUsage;
    }
    if (command.kind == CommandKind::Help) {
        std::cout << UsageText();
        return kExitDone;
    }
    if (command.kind == CommandKind::List) {
        ListStoppedStoredPorts(ProgramPorts());
        return ListPorts(ProgramPorts(), std::cout);
    }
    if (HWND running = FindWindowW(TEXT("Dialog"), TULKCFG_TITLE)) {
        return AnswerRunningCopy(running, command.kind);
    }
    switch (command.kind) {
        case CommandKind::Start:
            return StartKeptPorts(std::cout, std::cerr);
        case CommandKind::Add:
            return MayChangePorts() ? AddPair(ProgramPorts(), command, std::cout, std::cerr) : kExitRefused;
        case CommandKind::Delete:
            return MayChangePorts() ? DeletePair(ProgramPorts(), command, std::cout, std::cerr)
                                    : kExitRefused;
        default:
            break;
    }
    // Without a terminal the window would wait for ever for keys nobody can press.
    if (!CeUiShowsWindows()) {
        std::cerr << "tulkcfg: the manager's window needs a terminal (standard input and output); "
                     "tulkcfg --help shows the commands that work without one\n";
        return kExitUsage;
    }
    g_ui.helpUrl[0] = 0;
    if (ProgramPorts().RegistryWritable() == 0) {
        MessageBoxW(nullptr, text::kAccessDenied, TULKCFG_TITLE, MB_OK);
        return kExitDone;
    }
    WCHAR modulePath[MAX_PATH] = {};
    GetModuleFileNameW(instance, modulePath, MAX_PATH);
    BuildHelpUrl(modulePath, g_ui.helpUrl, kHelpUrlChars);
    g_ui.instance = instance;
    LoadIcons();
    RunDialogTemplate(IDD_MAIN, nullptr, MainDialogProc);
    return kExitDone;
}
