#include "manager/ui/manager_test_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "program_ports.h"

namespace {

constexpr DWORD kCloseAttemptMs = 2000;
constexpr int kItemTextChars = 512;
constexpr int kClassChars = 64;

std::unique_ptr<PortList> g_programPorts;

// The tests answer the windows themselves, with injected input, also when run by hand in a terminal.
[[maybe_unused]] const int kHeadless = setenv("CE_UI_HEADLESS", "1", 1);

std::u16string ClassOf(HWND window) {
    WCHAR name[kClassChars] = {};
    GetClassNameW(window, name, kClassChars);
    return name;
}

}  // namespace

// The program's own definition builds a static list before WinMain; the tests build theirs once the test
// has laid out the device.
PortList& ProgramPorts() {
    return *g_programPorts;
}

namespace uitest {

void BuildProgramPorts() {
    g_programPorts = std::make_unique<PortList>();
}

PortList& Ports() {
    return ProgramPorts();
}

void CreateVirtualPort(DWORD combinedNumber, LONG pairIndex, LONG arrayIndex) {
    PortList earlier;
    ASSERT_GE(earlier.CreateVirtualPort(combinedNumber, pairIndex, arrayIndex), 0);
}

void CreatePair(DWORD firstNumber, DWORD secondNumber) {
    PortList earlier;
    const PairIndices pair = earlier.CreatePair(firstNumber, secondNumber);
    ASSERT_GE(pair.second, 0) << "pair " << firstNumber << "/" << secondNumber;
}

void WriteDisabledPhysicalKey(const storetest::PhysicalPort& port) {
    storetest::SetText(storetest::WritePhysicalKey(port), u"Prefix", u"C0M");
}

ManagerRun::ManagerRun(std::u16string commandLine) : commandLine_(std::move(commandLine)) {
    thread_ = std::thread([this] {
        exitCode_ = WinMain(GetModuleHandleW(nullptr), nullptr, commandLine_.data(), SW_SHOWNORMAL);
        finished_ = true;
    });
}

ManagerRun::~ManagerRun() {
    Join();
}

void ManagerRun::Join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void ManagerTest::TearDown() {
    // A test ends with the main dialog in front, closed with its close box.
    if (run_ != nullptr && !run_->finished()) {
        if (CeUiGetActiveWindow() == main_) {
            Close();
        } else {
            ADD_FAILURE() << "a window is left in front of the main dialog";
        }
    }
    if (run_ != nullptr && !run_->finished()) {
        // A failed test may leave boxes open or the dialog hidden: close what is in front, or ask the main
        // dialog to close, until the manager ends.
        for (int attempt = 0; attempt < 8 && !run_->finished(); ++attempt) {
            if (CeUiGetActiveWindow() != nullptr) {
                CeUiInjectClose();
            } else if (IsWindow(main_)) {
                PostMessageW(main_, WM_CLOSE, 0, 0);
            }
            CeUiWaitIdle(kCloseAttemptMs);
        }
        if (!run_->finished()) {
            ADD_FAILURE() << "the manager did not end";
            std::fflush(nullptr);
            std::_Exit(EXIT_FAILURE);  // a join would hang the test program
        }
    }
    run_.reset();
    g_programPorts.reset();
    storetest::StoreTest::TearDown();
}

void ManagerTest::Start() {
    BuildProgramPorts();
    run_ = std::make_unique<ManagerRun>();
    WaitIdle();
    main_ = FindWindowW(u"Dialog", kTitle);
    ASSERT_NE(main_, nullptr) << "the main dialog did not come up";
}

void ManagerTest::Close() {
    ASSERT_EQ(CeUiGetActiveWindow(), main_);
    ASSERT_TRUE(CeUiInjectClose());
    run_->Join();
    EXPECT_EQ(run_->exitCode(), 0);
}

HWND ManagerTest::tree() const {
    return GetDlgItem(main_, IDC_PORT_TREE);
}

void PressButton(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    ASSERT_NE(control, nullptr) << "no control " << id;
    Click(control);
}

Box ShownBox() {
    Box box;
    box.window = CeUiGetActiveWindow();
    if (box.window == nullptr || ClassOf(box.window) != u"Dialog") {
        return Box{};
    }
    box.owner = GetWindow(box.window, GW_OWNER);
    box.caption = TextOf(box.window);
    for (HWND child = GetWindow(box.window, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassOf(child) == u"Static" && !TextOf(child).empty()) {
            // The box breaks its text into lines; the words are what the program gave.
            box.text = TextOf(child);
            std::replace(box.text.begin(), box.text.end(), u'\n', u' ');
        } else if (ClassOf(child) == u"Button") {
            box.buttons.push_back(GetDlgCtrlID(child));
        }
    }
    return box;
}

void AnswerBox(const char16_t* text, UINT key) {
    const Box box = ShownBox();
    ASSERT_EQ(box.text, text);
    EXPECT_EQ(box.caption, kTitle);
    Press(key);
    EXPECT_NE(CeUiGetActiveWindow(), box.window) << "the box is still up";
}

TreeRow ReadRow(HWND tree, HTREEITEM item) {
    TreeRow row;
    WCHAR text[kItemTextChars] = {};
    TVITEMW fields = {};
    fields.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN | TVIF_PARAM;
    fields.hItem = item;
    fields.pszText = text;
    fields.cchTextMax = kItemTextChars;
    if (!SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&fields))) {
        return row;
    }
    row.item = item;
    row.text = text;
    row.image = fields.iImage;
    row.selectedImage = fields.iSelectedImage;
    row.children = fields.cChildren;
    row.entry = reinterpret_cast<const PortEntry*>(fields.lParam);
    return row;
}

RowLook LookOf(const TreeRow& row) {
    return {row.text, row.image, row.selectedImage, row.children, row.entry};
}

HTREEITEM Root(HWND tree, int index) {
    auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    for (int i = 0; i < index && item != nullptr; ++i) {
        item = reinterpret_cast<HTREEITEM>(
            SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)));
    }
    return item;
}

std::vector<TreeRow> ChildrenOf(HWND tree, HTREEITEM parent) {
    std::vector<TreeRow> rows;
    auto item = reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(parent)));
    while (item != nullptr) {
        rows.push_back(ReadRow(tree, item));
        item = reinterpret_cast<HTREEITEM>(
            SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)));
    }
    return rows;
}

std::vector<std::u16string> TextsOf(const std::vector<TreeRow>& rows) {
    std::vector<std::u16string> texts;
    for (const TreeRow& row : rows) {
        texts.push_back(row.text);
    }
    return texts;
}

void ClickItem(HWND tree, HTREEITEM item) {
    auto parent = reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(item)));
    if (parent != nullptr) {
        SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(parent));
    }
    SendMessageW(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
    // TVM_GETITEMRECT takes the item in the rectangle's first bytes.
    RECT rect = {};
    std::memcpy(&rect, &item, sizeof(item));
    ASSERT_TRUE(SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&rect)));
    POINT centre = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    ASSERT_TRUE(ClientToScreen(tree, &centre));
    ui_test::ClickAt(centre);
    ASSERT_EQ(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0), reinterpret_cast<LRESULT>(item));
}

HICON ProgramIcon(int id) {
    return LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id));
}

std::vector<CE_UI_DRAWN_ICON> DrawnIcons(HWND window) {
    constexpr DWORD kMaxIcons = 8;
    std::vector<CE_UI_DRAWN_ICON> icons(kMaxIcons);
    const DWORD count = CeUiGetDrawnIcons(window, icons.data(), kMaxIcons);
    icons.resize(count == static_cast<DWORD>(-1) ? 0 : std::min(count, kMaxIcons));
    return icons;
}

}  // namespace uitest
