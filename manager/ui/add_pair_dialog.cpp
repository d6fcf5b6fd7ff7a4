// The add-pair dialog: two drop-down lists of the free device names; OK creates the pair through the store
// and appends both ports to the main dialog's tree. Failures are told and the dialog stays open.
#include "dialogs.h"
#include "port_tree.h"
#include "program_ports.h"
#include "resource_ids.h"
#include "store/stored_ports.h"
#include "texts.h"
#include "ui_state.h"

namespace {

// Combo box texts are read with room for 255 characters.
constexpr int kChoiceChars = 256;
// Where each list starts: the first two free names.
constexpr WPARAM kFirstChoice = 0;
constexpr WPARAM kSecondChoice = 1;

void Tell(HWND dialog, LPCWSTR message) {
    MessageBoxW(dialog, message, TULKCFG_TITLE, MB_OK);
}

void OfferFreeNames(HWND dialog) {
    HWND first = GetDlgItem(dialog, IDC_FIRST_PORT);
    HWND second = GetDlgItem(dialog, IDC_SECOND_PORT);
    for (DWORD number = 0; number < kCombinedNumbers; ++number) {
        if (!ProgramPorts().IsPortNumberFree(number)) {
            continue;
        }
        WCHAR name[kItemTextChars];
        VirtualPortName(number, name);
        SendMessageW(first, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
        SendMessageW(second, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    }
    SendMessageW(first, CB_SETCURSEL, kFirstChoice, 0);
    SendMessageW(second, CB_SETCURSEL, kSecondChoice, 0);
}

// "COM3:" is 3 and "KMX3:" is 13: the digit after the three-letter prefix, the KMX family from 10.
BYTE CombinedNumberOfName(const WCHAR* name) {
    return static_cast<BYTE>((name[3] - TEXT('0')) + (name[0] == TEXT('K') ? kNumbersPerFamily : 0));
}

void AppendNewPort(DWORD combinedNumber, const PortEntry* entry) {
    WCHAR name[kItemTextChars];
    VirtualPortName(combinedNumber, name);
    AppendTreeItem(g_ui.virtualRoot, name, PortItemImage(*entry), entry);
}

void CreateChosenPair(HWND dialog) {
    WCHAR firstName[kChoiceChars];
    WCHAR secondName[kChoiceChars];
    GetWindowTextW(GetDlgItem(dialog, IDC_FIRST_PORT), firstName, kChoiceChars);
    GetWindowTextW(GetDlgItem(dialog, IDC_SECOND_PORT), secondName, kChoiceChars);
    // Two empty choices are equal too, and get this message.
    if (lstrcmpW(firstName, secondName) == 0) {
        Tell(dialog, text::kPortsMustDiffer);
        return;
    }
    if (firstName[0] == 0 || secondName[0] == 0) {
        Tell(dialog, text::kSelectPorts);
        return;
    }
    const BYTE firstNumber = CombinedNumberOfName(firstName);
    const BYTE secondNumber = CombinedNumberOfName(secondName);
    PortList& ports = ProgramPorts();
    // The store picks two free slots 2k and 2k + 1 and rolls a half-made pair back.
    const PairIndices pair = ports.CreatePair(firstNumber, secondNumber);
    if (pair.first < 0 || pair.second < 0) {
        Tell(dialog, text::kAddFailed);
        return;
    }
    // The pair is kept: the device starts it again at its next start.
    KeepStartingStoredPorts();
    SetChildCount(g_ui.virtualRoot, 1);
    AppendNewPort(firstNumber, ports.At(pair.first));
    AppendNewPort(secondNumber, ports.At(pair.second));
    EndDialog(dialog, 0);
}

}  // namespace

INT_PTR CALLBACK AddPairDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            SetForegroundWindow(dialog);
            CenterWindow(dialog);
            OfferFreeNames(dialog);
            break;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_ADD_OK) {
                CreateChosenPair(dialog);
            } else if (LOWORD(wParam) == IDC_ADD_CANCEL || LOWORD(wParam) == IDCANCEL) {
                // IDCANCEL is the Esc key's, which a person expects to leave as Cancel does.
                EndDialog(dialog, 0);
            }
            break;
        case WM_CLOSE:
            EndDialog(dialog, 0);
            break;
        default:
            break;
    }
    return 0;
}
