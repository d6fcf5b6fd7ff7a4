// Helpers of the manager's user-interface tests: the program's port list built as the program builds it
// (before WinMain, after the test has laid out its device), tulkcfg run on a UI thread of its own, and what a
// person does with it: clicks on buttons and tree items, keys, answers to message boxes.
#pragma once

#include <gtest/gtest.h>

#include <ceplatform.h>
#include <ceplatform_ui.h>
#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "manager/store/store_test_support.h"
#include "platform/user/ui_test_support.h"
#include "resource_ids.h"
#include "store/port_list.h"

namespace uitest {

using storetest::PrintTo;

// Table cases are named by their name field, in test names as in messages.
struct CaseName {
    template <class Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
        return info.param.name;
    }
};

inline constexpr const char16_t* kTitle = u"TULK CE 3.6";

// Builds the program-wide port list now, as the program's start-up does before WinMain.
void BuildProgramPorts();
PortList& Ports();

// Creates a pair (or a single port with pairIndex -1) through a list of its own, as an earlier run of the
// manager would have left it: keys written and devices running.
void CreateVirtualPort(DWORD combinedNumber, LONG pairIndex, LONG arrayIndex);
void CreatePair(DWORD firstNumber, DWORD secondNumber);
// A physical port the manager disabled earlier: its key with Prefix "C0M", not running.
void WriteDisabledPhysicalKey(const storetest::PhysicalPort& port);

// Waits, text and input as the window tests have them.
using ui_test::Click;
using ui_test::TextOf;
using ui_test::WaitIdle;
inline void Press(UINT vk, UINT modifiers = 0) {
    ui_test::Key(vk, modifiers);
}

// tulkcfg's WinMain on a thread of its own.
class ManagerRun {
  public:
    explicit ManagerRun(std::u16string commandLine = u"");
    ~ManagerRun();
    void Join();
    int exitCode() const { return exitCode_; }
    bool finished() const { return finished_; }

  private:
    std::u16string commandLine_;
    std::atomic<int> exitCode_{-1};
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

// The test fixture: a clean device, the store's waits recorded, and tulkcfg started on demand.
class ManagerTest : public storetest::StoreTest {
  protected:
    void TearDown() override;

    // Builds the port list and starts the manager; the main dialog is up when it returns.
    void Start();
    // Closes the main dialog with its close box and waits for WinMain to end; TearDown does it for a test
    // that leaves the dialog running.
    void Close();

    HWND main() const { return main_; }
    HWND tree() const;
    HWND button(int id) const { return GetDlgItem(main_, id); }

    std::unique_ptr<ManagerRun> run_;
    HWND main_ = nullptr;
};

// ---- input ----

void PressButton(HWND dialog, int id);

// ---- message boxes ----

struct Box {
    HWND window = nullptr;
    HWND owner = nullptr;
    std::u16string caption;
    std::u16string text;
    std::vector<int> buttons;  // ids of its push buttons, in order
};
// The message box in front of the window system, if one is showing.
Box ShownBox();
// Expects a box with this text and the manager's caption, then answers it with a key.
void AnswerBox(const char16_t* text, UINT key);

// ---- the port tree ----

struct TreeRow {
    HTREEITEM item = nullptr;
    std::u16string text;
    int image = -1;
    int selectedImage = -1;
    int children = -1;
    const PortEntry* entry = nullptr;
};
TreeRow ReadRow(HWND tree, HTREEITEM item);
// A row as it shows, compared whole: text, image, selected image, child count, entry.
using RowLook = std::tuple<std::u16string, int, int, int, const PortEntry*>;
RowLook LookOf(const TreeRow& row);
HTREEITEM Root(HWND tree, int index);  // 0 physical, 1 virtual
std::vector<TreeRow> ChildrenOf(HWND tree, HTREEITEM parent);
std::vector<std::u16string> TextsOf(const std::vector<TreeRow>& rows);
// Selects an item the way a person does: expands its parent and clicks on its text.
void ClickItem(HWND tree, HTREEITEM item);

// ---- icons ----

HICON ProgramIcon(int id);
// The icons a button drew at its last full paint.
std::vector<CE_UI_DRAWN_ICON> DrawnIcons(HWND window);

}  // namespace uitest
