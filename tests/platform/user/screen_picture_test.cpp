// The picture of the screen that a terminal shows: the terminal tests' demo dialog with each kind of
// control, disabled and focused controls by their attributes, icons by their terminal pictures, an open
// drop-down list, a message box above its owner (where boxes go is the message box tests'), and the calls'
// buffer rules.
#include "demo/ui_demo.h"
#include "ui_test_support.h"

#include <ceplatform.h>
#include <commctrl.h>

#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {

// Run by hand in a terminal, the tests still read the headless picture.
const bool headless = setenv("CE_UI_HEADLESS", "1", 1) == 0;

// The screen's text. Another UI thread may draw between asking the size and taking the text, so a text
// that grew meanwhile is asked for again (and one that shrank is taken as it is).
std::string Picture() {
    for (;;) {
        const DWORD size = CeUiScreenText(nullptr, 0);
        std::string text(size, '\0');
        const DWORD taken = CeUiScreenText(text.data(), size);
        if (taken <= size) {
            EXPECT_GT(taken, 0u);
            text.resize(taken > 0 ? taken - 1 : 0);
            return text;
        }
    }
}

std::vector<std::string> Rows(const std::string& picture) {
    std::vector<std::string> rows;
    std::istringstream lines(picture);
    for (std::string line; std::getline(lines, line);) {
        rows.push_back(line);
    }
    return rows;
}

std::vector<CE_UI_CELL> Cells() {
    std::vector<CE_UI_CELL> cells(CE_UI_PICTURE_COLUMNS * CE_UI_PICTURE_ROWS);
    EXPECT_EQ(CeUiScreenCells(cells.data(), static_cast<DWORD>(cells.size())), cells.size());
    return cells;
}

const CE_UI_CELL& CellAt(const std::vector<CE_UI_CELL>& cells, int column, int row) {
    return cells[static_cast<size_t>(row * CE_UI_PICTURE_COLUMNS + column)];
}

// The demo program's dialog, the second port selected in its focused tree.
HWND MakeDialog() {
    INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX), ICC_TREEVIEW_CLASSES};
    EXPECT_TRUE(InitCommonControlsEx(&init));
    HWND dialog = CreateDialogIndirectParamW(nullptr, ui_test::Template(IDD_DEMO), nullptr, DemoProc, 0);
    HWND tree = GetDlgItem(dialog, IDC_TREE);
    const LPARAM ports = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
    const LPARAM first = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, ports);
    SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, first));
    ShowWindow(dialog, SW_SHOW);
    SetFocus(tree);
    return dialog;
}

class ScreenPicture : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(headless);
        CePlatformReset();
    }
};

std::vector<std::string> TrimmedRows(const std::string& picture, size_t count) {
    std::vector<std::string> rows = Rows(picture);
    rows.resize(std::min(rows.size(), count));
    for (std::string& row : rows) {
        row.erase(row.find_last_not_of(' ') + 1);
    }
    return rows;
}

// Row and column (in cells, not bytes) where `needle` starts in the picture; {-1, -1} when absent.
std::pair<int, int> Find(const std::string& picture, const std::string& needle) {
    const std::vector<std::string> rows = Rows(picture);
    for (size_t row = 0; row < rows.size(); ++row) {
        const size_t at = rows[row].find(needle);
        if (at != std::string::npos) {
            int column = 0;
            for (size_t i = 0; i < at; ++i) {
                column += (static_cast<unsigned char>(rows[row][i]) & 0xC0) != 0x80 ? 1 : 0;
            }
            return {static_cast<int>(row), column};
        }
    }
    return {-1, -1};
}

struct Mark {
    const char* what;
    std::string text;
    BYTE set, clear;
};

// Every cell of each text on the screen has the attributes `set` and none of `clear`.
void ExpectMarks(const std::vector<Mark>& marks) {
    const std::string picture = Picture();
    const std::vector<CE_UI_CELL> cells = Cells();
    for (const Mark& mark : marks) {
        const auto [row, column] = Find(picture, mark.text);
        ASSERT_GE(row, 0) << mark.what << "\n" << picture;
        for (int i = 0; i < static_cast<int>(mark.text.size()); ++i) {
            const BYTE attributes = CellAt(cells, column + i, row).attributes;
            EXPECT_EQ(attributes & mark.set, mark.set) << mark.what << " cell " << i;
            EXPECT_EQ(attributes & mark.clear, 0) << mark.what << " cell " << i;
        }
    }
}

TEST_F(ScreenPicture, ShowsEachKindOfControlAtItsPlaceWithItsStateAndColours) {
    ui_test::DialogOnUiThread ui(MakeDialog);
    ui_test::WaitIdle();
    const std::string picture = Picture();
    ASSERT_EQ(Rows(picture).size(), static_cast<size_t>(CE_UI_PICTURE_ROWS));
    const std::vector<std::string> expected = {
        "",
        "",
        "",
        "",
        "",
        "  ┌ Demo                      [x]┐",
        "  │ Port: COM1:      ▼  !        │",
        "  │                              │",
        "  │┌──────────────────────┐      │",
        "  ││-─? Ports             │      │",
        "  │││ ├─? COM1            │      │",
        "  │││ └─? COM2            │      │",
        "  ││+─? Pairs             │      │",
        "  │└──────────────────────┘      │",
        "  │ Selected COM2                │",
        "  │                              │",
        "  │ [ <OK> ] [ Ask  ] [ More ]   │",
        "  │                              │",
        "  │                              │",
        "  └──────────────────────────────┘",
        "",
    };
    EXPECT_EQ(TrimmedRows(picture, expected.size()), expected) << picture;
    ExpectMarks({
        {"disabled button dimmed", "[ More ]", CE_UI_ATTR_DIM, CE_UI_ATTR_REVERSE},
        {"default button bold, not focused", "[ <OK> ]", CE_UI_ATTR_BOLD,
         CE_UI_ATTR_DIM | CE_UI_ATTR_REVERSE},
        {"selected item of the focused tree", "COM2", CE_UI_ATTR_REVERSE | CE_UI_ATTR_BOLD, CE_UI_ATTR_DIM},
        {"other items plain", "COM1 ", 0, CE_UI_ATTR_REVERSE | CE_UI_ATTR_DIM},
        {"static plain", "Port:", 0, CE_UI_ATTR_REVERSE | CE_UI_ATTR_DIM},
    });
    const std::vector<CE_UI_CELL> cells = Cells();
    const auto [iconRow, iconColumn] = Find(picture, "!");
    EXPECT_EQ(CellAt(cells, iconColumn, iconRow).foreground, CE_UI_COLOR_BLACK);
    EXPECT_EQ(CellAt(cells, iconColumn, iconRow).background, CE_UI_COLOR_YELLOW);
    const auto [imageRow, imageColumn] = Find(picture, "? COM1");
    EXPECT_EQ(CellAt(cells, imageColumn, imageRow).foreground, CE_UI_COLOR_WHITE);
    EXPECT_EQ(CellAt(cells, imageColumn, imageRow).background, CE_UI_COLOR_BLUE);
    const auto [titleRow, titleColumn] = Find(picture, "Demo ");
    EXPECT_EQ(CellAt(cells, titleColumn, titleRow).background, CE_UI_COLOR_BLUE) << "the active title bar";
}

TEST_F(ScreenPicture, FocusMovesTheMarkAndEnablingUndimsAtOnce) {
    HWND dialog = nullptr;
    ui_test::DialogOnUiThread ui([&] { return dialog = MakeDialog(); });
    ASSERT_TRUE(CeUiInjectKey(VK_TAB, 0));  // from the tree to OK
    EnableWindow(GetDlgItem(dialog, IDC_MORE), TRUE);
    ui_test::WaitIdle();
    ExpectMarks({{"the focused button", "[ <OK> ]", CE_UI_ATTR_REVERSE, 0},
                 {"enabled again", "[ More ]", 0, CE_UI_ATTR_DIM},
                 {"the selection of a tree without the focus is not bold", "COM2", 0, CE_UI_ATTR_BOLD}});
}

TEST_F(ScreenPicture, OpenDropDownListLiesOverTheControlsBelow) {
    HWND dialog = nullptr;
    ui_test::DialogOnUiThread ui([&] { return dialog = MakeDialog(); });
    RECT field{};
    GetWindowRect(GetDlgItem(dialog, IDC_PORT), &field);
    ui_test::ClickAt(POINT{field.left + 3, field.top + 3});
    const std::string picture = Picture();
    // The grid cell below the field's left end, as the painter maps pixels (one cell of margin around).
    const int column = (field.left + 3) / 7 + 1;
    const int row = (field.bottom + 7) / 14 + 1;
    const int firstRow = Find(picture, "COM1:  ").first;
    EXPECT_EQ(Find(picture, "COM2:").first, firstRow + 2) << picture;
    EXPECT_EQ(firstRow, row - 1) << "the field keeps its text";
    const std::vector<CE_UI_CELL> cells = Cells();
    EXPECT_EQ(CellAt(cells, column, row).ch, U'C') << picture;
    EXPECT_NE(CellAt(cells, column, row).attributes & CE_UI_ATTR_REVERSE, 0)
        << "the selected item is highlighted";
    EXPECT_EQ(CellAt(cells, column, row + 1).attributes & CE_UI_ATTR_REVERSE, 0);
    EXPECT_EQ(CellAt(cells, column, row + 1).background, CE_UI_COLOR_CYAN) << "over the tree's frame";
}

TEST_F(ScreenPicture, MessageBoxIsDrawnActiveAboveItsOwner) {
    HWND dialog = nullptr;
    ui_test::DialogOnUiThread ui([&] { return dialog = MakeDialog(); });
    ui_test::UiThread box([&] { MessageBoxW(dialog, u"Delete the pair?", u"Pairs", MB_YESNO); });
    // Two threads draw here, and "idle" means only that one of them waits: look until the box is on the
    // screen in full.
    std::string picture;
    for (int wait = 0; wait < 1000; ++wait) {
        ui_test::WaitIdle();
        picture = Picture();
        if (Find(picture, "┌ Pairs").first >= 0 && Find(picture, "Yes").first >= 0) {
            break;
        }
        Sleep(10);
    }
    struct AnswerAtTheEnd {
        // The box is answered at the end, so that its thread ends.
        ~AnswerAtTheEnd() {
            if (HWND box = FindWindowW(nullptr, u"Pairs")) {
                PostMessageW(box, WM_COMMAND, IDNO, 0);
            }
        }
    } answerAtTheEnd;
    const std::vector<CE_UI_CELL> cells = Cells();
    const auto [titleRow, titleLeft] = Find(picture, "┌ Pairs");
    ASSERT_GE(titleRow, 0) << picture;
    EXPECT_NE(Find(picture, "Delete the pair?").first, -1);
    EXPECT_NE(Find(picture, "Yes").first, -1);
    EXPECT_EQ(CellAt(cells, titleLeft + 2, titleRow).background, CE_UI_COLOR_BLUE) << "the box is active";
    const auto [demoRow, demoColumn] = Find(picture, "┌ Demo");
    EXPECT_EQ(CellAt(cells, demoColumn + 2, demoRow).background, CE_UI_COLOR_WHITE) << "its owner is not";
    EXPECT_GT(titleLeft, demoColumn) << "the box is centred, not at its owner's corner";
}

TEST_F(ScreenPicture, CallsKeepTheBufferRules) {
    const DWORD needed = CeUiScreenText(nullptr, 0);
    EXPECT_EQ(needed, static_cast<DWORD>(CE_UI_PICTURE_ROWS * (CE_UI_PICTURE_COLUMNS + 1) + 1))
        << "an empty screen is blanks and line ends";

    std::vector<char> small(needed - 1, '\x7f');
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CeUiScreenText(small.data(), static_cast<DWORD>(small.size())), needed);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::count(small.begin(), small.end(), '\x7f'), static_cast<long>(small.size())) << "untouched";

    SetLastError(0xdeadbeef);
    EXPECT_EQ(CeUiScreenText(nullptr, 10), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    std::vector<char> exact(needed + 4, '\x7f');
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CeUiScreenText(exact.data(), needed), needed);
    EXPECT_EQ(GetLastError(), 0xdeadbeefu) << "success leaves the last error alone";
    EXPECT_EQ(exact[needed - 1], '\0');
    EXPECT_EQ(exact[needed], '\x7f');

    CE_UI_CELL cells[3];
    std::memset(cells, 0x7f, sizeof cells);
    EXPECT_EQ(CeUiScreenCells(cells, 2), static_cast<DWORD>(CE_UI_PICTURE_COLUMNS * CE_UI_PICTURE_ROWS));
    EXPECT_EQ(cells[0].ch, static_cast<DWORD>(U' '));
    EXPECT_EQ(cells[2].ch, 0x7f7f7f7fu) << "no more than asked";
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CeUiScreenCells(nullptr, 1), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
