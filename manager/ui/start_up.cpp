// WinMain: one copy per device; "start" re-activates the stored virtual ports and ends; without registry
// access the manager refuses to run; otherwise it loads its icons and runs the main dialog until closed.
// The exit code is 0 on every path.
#include "dialogs.h"
#include "help_address.h"
#include "program_ports.h"
#include "resource_ids.h"
#include "store/stored_ports.h"
#include "texts.h"
#include "ui_state.h"

namespace {

constexpr int kExitCode = 0;

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

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
    // The copy already running comes to the front, whatever this one was asked to do.
    HWND running = FindWindowW(TEXT("Dialog"), TULKCFG_TITLE);
    if (running != nullptr) {
        ShowWindow(running, SW_SHOW);
        SetForegroundWindow(running);
        return kExitCode;
    }
    // Exactly "start": no other case, no blanks.
    if (commandLine != nullptr && lstrcmpW(commandLine, TEXT("start")) == 0) {
        ActivateStoredPorts();
        return kExitCode;
    }
    g_ui.helpUrl[0] = 0;
    if (ProgramPorts().RegistryWritable() == 0) {
        MessageBoxW(nullptr, text::kAccessDenied, TULKCFG_TITLE, MB_OK);
        return kExitCode;
    }
    WCHAR modulePath[MAX_PATH] = {};
    GetModuleFileNameW(instance, modulePath, MAX_PATH);
    BuildHelpUrl(modulePath, g_ui.helpUrl, kHelpUrlChars);
    g_ui.instance = instance;
    LoadIcons();
    RunDialogTemplate(IDD_MAIN, nullptr, MainDialogProc);
    return kExitCode;
}
