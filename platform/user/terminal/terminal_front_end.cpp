// The terminal front-end on ncursesw. It runs on the window system's own threads: a thread that waits for
// input polls the terminal and the wake-up eventfd, and a thread that goes idle repaints. The screen of 36 x
// 24 cells sits in the middle of a larger terminal and is clipped, with a note, in a smaller one.
//
// Locking: lock_ guards the queue of decoded input and the wake count; TerminalLock() guards every ncurses
// call and the last painted screen. The window lock is never taken while either is held (the painter's
// snapshot is taken first), as window.h orders.
#include "user/front_end/front_end.h"
#include "user/terminal/screen_painter.h"
#include "user/terminal/terminal_input.h"
#include "user/terminal/terminal_session.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <curses.h>

namespace ce::ui {
namespace {

// Said on the last line of a terminal too small for the screen, the longest that fits.
const std::string kClippedNotes[] = {
    "Terminal too small: " + std::to_string(kGridColumns) + "x" + std::to_string(kGridRows) + " needed",
    "Too small: " + std::to_string(kGridColumns) + "x" + std::to_string(kGridRows), "Too small"};

// Where the grid's first cell lies on one axis of the terminal: centred when the terminal has room; else
// the active window centred or from its start, moved as little as needed to show the focused control.
int Origin(int terminal, int grid, int activeFirst, int activeEnd, int focusFirst, int focusEnd) {
    if (terminal >= grid) {
        return (terminal - grid) / 2;
    }
    int start = 0;
    if (activeEnd > activeFirst) {
        const int size = activeEnd - activeFirst;
        start = size <= terminal ? activeFirst - (terminal - size) / 2 : activeFirst;
    }
    if (focusEnd > focusFirst) {
        start = std::max(start, focusEnd - terminal);
        start = std::min(start, focusFirst);
    }
    return -std::clamp(start, 0, grid - terminal);
}

bool TerminalShowsDim() {
    const char* dim = tigetstr(const_cast<char*>("dim"));
    return dim != nullptr && dim != reinterpret_cast<const char*>(-1);
}

class TerminalFrontEnd final : public QueuedFrontEnd {
  public:
    explicit TerminalFrontEnd(int wakeFd)
        : wakeFd_(wakeFd),
          disabledLook_(TerminalShowsDim() ? DisabledLook::Dim : DisabledLook::EnabledBold) {}

    bool ShowsScreen() const override { return true; }

    void Changed() override {
        if (!dirty_.exchange(true)) {
            Signal();
        }
    }

    void Idle() override {
        if (suspended_.load()) {
            return;  // the resumption repaints
        }
        const bool attention = attention_.exchange(false);
        if (!dirty_.exchange(false) && !attention) {
            return;
        }
        PaintedScreen screen = PaintScreen(SnapshotScreen(), disabledLook_);
        std::lock_guard<std::mutex> guard(TerminalLock());
        if (TerminalSessionClosed()) {
            return;
        }
        if (suspended_.load()) {
            dirty_.store(true);
            if (attention) {
                attention_.store(true);
            }
            return;
        }
        Draw(screen);
        last_ = std::move(screen);
        if (attention) {
            beep();
        }
    }

    void Attention(HWND) override {
        attention_.store(true);
        Signal();
    }

    bool WaitForInput(DWORD timeoutMs, unsigned long wakeCount, InputEvent* event) override {
        std::unique_lock<std::mutex> lock(lock_);
        if (wakeCount != wakeCount_) {
            return false;
        }
        if (timeoutMs != 0 && events_.empty()) {
            if (readerActive_) {
                // Another thread polls the terminal and hands what it reads to the queue.
                changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
                    return !events_.empty() || wakeCount_ != wakeCount || !readerActive_;
                });
            } else {
                readerActive_ = true;
                lock.unlock();
                PollTerminal(timeoutMs);
                lock.lock();
                readerActive_ = false;
                changed_.notify_all();
            }
        } else if (events_.empty()) {
            lock.unlock();
            ReadTerminal();
            lock.lock();
        }
        return TakeEventLocked(wakeCount, event);
    }

    bool SuspendScreen() override {
        {
            std::lock_guard<std::mutex> guard(TerminalLock());
            if (TerminalSessionClosed() || suspended_.load()) {
                return false;
            }
            SuspendTerminalSession();
            suspended_.store(true);
        }
        Signal();  // a thread that polls the terminal stops reading it
        return true;
    }

    void ResumeScreen() override {
        {
            std::lock_guard<std::mutex> guard(TerminalLock());
            if (!suspended_.load()) {
                return;
            }
            suspended_.store(false);
            if (!TerminalSessionClosed()) {
                ResumeTerminalSession();
            }
        }
        dirty_.store(true);
        Signal();
    }

  private:
    void WokenUp() override { Signal(); }

    void Signal() {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t written = write(wakeFd_, &one, sizeof one);
    }

    void PollTerminal(DWORD timeoutMs) {
        // While another program has the terminal, its input is not ours to take.
        const bool reading = !stdinGone_ && !suspended_.load();
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {reading ? STDIN_FILENO : -1, POLLIN, 0}};
        const int ready = poll(fds, 2, static_cast<int>(std::min<DWORD>(timeoutMs, INT32_MAX)));
        if (ready > 0 && (fds[0].revents & POLLIN) != 0) {
            uint64_t count;
            [[maybe_unused]] ssize_t got = read(wakeFd_, &count, sizeof count);
        }
        if (ready > 0 && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 &&
            (fds[1].revents & POLLIN) == 0) {
            stdinGone_ = true;  // the terminal went away: nothing more to read, and no spinning on it
        }
        // Read even after a timeout: ncurses reports a resize (SIGWINCH) only through wget_wch.
        ReadTerminal();
    }

    // Decodes what the terminal has sent so far into the queue.
    void ReadTerminal() {
        std::vector<TerminalInput> inputs;
        std::vector<InputEvent> events;
        {
            std::lock_guard<std::mutex> guard(TerminalLock());
            if (TerminalSessionClosed() || suspended_.load()) {
                return;
            }
            wint_t value;
            int kind;
            while ((kind = wget_wch(stdscr, &value)) != ERR) {
                decoder_.Feed(static_cast<unsigned>(value), kind == KEY_CODE_YES, &inputs);
            }
            decoder_.Flush(&inputs);
            for (const TerminalInput& input : inputs) {
                switch (input.kind) {
                    case TerminalInput::Kind::Event:
                        events.push_back(input.event);
                        break;
                    case TerminalInput::Kind::Resize:
                        dirty_.store(true);
                        events.push_back(InputEvent{InputEvent::Kind::Resize});
                        break;
                    case TerminalInput::Kind::Click: {
                        const POINT pixel =
                            ClickPixel(last_, input.column - originColumn_, input.row - originRow_);
                        InputEvent click{input.press ? InputEvent::Kind::MouseDown
                                                     : InputEvent::Kind::MouseUp};
                        click.x = pixel.x;
                        click.y = pixel.y;
                        events.push_back(click);
                        break;
                    }
                }
            }
        }
        if (!events.empty()) {
            QueueEvents(events.data(), events.size());
        }
    }

    // Caller holds TerminalLock().
    void Draw(const PaintedScreen& screen) {
        const CellGrid& grid = screen.grid;
        const bool clipped = COLS < grid.columns() || LINES < grid.rows();
        // A clipped screen leaves the last line to the note.
        const int rows = std::max(0, LINES - (clipped ? 1 : 0));
        const int columns = COLS;
        originColumn_ = Origin(columns, grid.columns(), screen.active.left, screen.active.right,
                               screen.focus.left, screen.focus.right);
        originRow_ = Origin(rows, grid.rows(), screen.active.top, screen.active.bottom, screen.focus.top,
                            screen.focus.bottom);
        erase();
        for (int row = std::max(0, -originRow_); row < grid.rows() && originRow_ + row < rows; ++row) {
            for (int column = std::max(0, -originColumn_);
                 column < grid.columns() && originColumn_ + column < columns; ++column) {
                const Cell& cell = grid.At(column, row);
                if (cell.ch == kWideTail) {
                    continue;
                }
                if (CharColumns(cell.ch) == 2 && originColumn_ + column + 1 >= columns) {
                    break;
                }
                const wchar_t text[2] = {static_cast<wchar_t>(cell.ch), L'\0'};
                cchar_t shown;
                setcchar(&shown, text, Attributes(cell.style.attributes), ColorPair(cell.style), nullptr);
                mvadd_wch(originRow_ + row, originColumn_ + column, &shown);
            }
        }
        if (clipped && LINES > 0) {
            const std::string* note = &kClippedNotes[std::size(kClippedNotes) - 1];
            for (const std::string& candidate : kClippedNotes) {
                if (static_cast<int>(candidate.size()) <= COLS) {
                    note = &candidate;
                    break;
                }
            }
            attron(A_REVERSE);
            mvaddnstr(LINES - 1, 0, note->c_str(), COLS);
            attroff(A_REVERSE);
        }
        refresh();
    }

    static attr_t Attributes(uint8_t attributes) {
        attr_t out = A_NORMAL;
        out |= (attributes & kAttrBold) != 0 ? A_BOLD : 0;
        out |= (attributes & kAttrDim) != 0 ? A_DIM : 0;
        out |= (attributes & kAttrReverse) != 0 ? A_REVERSE : 0;
        out |= (attributes & kAttrUnderline) != 0 ? A_UNDERLINE : 0;
        return out;
    }

    // Pairs are made as colours are first used; a terminal with too few pairs shows the rest uncoloured.
    short ColorPair(const CellStyle& style) {
        if (!has_colors() ||
            (style.foreground == TerminalColor::Default && style.background == TerminalColor::Default)) {
            return 0;
        }
        const int key = static_cast<int>(style.foreground) * 16 + static_cast<int>(style.background);
        auto found = pairs_.find(key);
        if (found != pairs_.end()) {
            return found->second;
        }
        const short pair = static_cast<short>(pairs_.size() + 1);
        if (pair >= COLOR_PAIRS) {
            return 0;
        }
        init_pair(pair, CursesColor(style.foreground), CursesColor(style.background));
        pairs_.emplace(key, pair);
        return pair;
    }

    static short CursesColor(TerminalColor color) {
        switch (color) {
            case TerminalColor::Black:
                return COLOR_BLACK;
            case TerminalColor::Red:
                return COLOR_RED;
            case TerminalColor::Green:
                return COLOR_GREEN;
            case TerminalColor::Yellow:
                return COLOR_YELLOW;
            case TerminalColor::Blue:
                return COLOR_BLUE;
            case TerminalColor::Magenta:
                return COLOR_MAGENTA;
            case TerminalColor::Cyan:
                return COLOR_CYAN;
            case TerminalColor::White:
                return COLOR_WHITE;
            case TerminalColor::Default:
                break;
        }
        return -1;
    }

    const int wakeFd_;
    const DisabledLook disabledLook_;
    std::atomic<bool> dirty_{true};
    std::atomic<bool> attention_{false};
    std::atomic<bool> suspended_{false};  // written under TerminalLock(): another program has the terminal

    bool readerActive_ = false;  // guarded by lock_: a thread polls the terminal

    bool stdinGone_ = false;                // only touched by the polling thread
    TerminalInputDecoder decoder_;          // guarded by TerminalLock()
    PaintedScreen last_;                    // guarded by TerminalLock(): where clicks land
    int originColumn_ = 0, originRow_ = 0;  // guarded by TerminalLock(): the screen's place in the terminal
    std::map<int, short> pairs_;            // guarded by TerminalLock()
};

FrontEnd* NewTerminalFrontEnd() {
    const int wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0) {
        return nullptr;
    }
    if (!OpenTerminalSession()) {
        close(wakeFd);
        return nullptr;
    }
    return new TerminalFrontEnd(wakeFd);  // leaked with the process, as every front-end
}

// Registered while the library loads, before any window can exist.
[[maybe_unused]] const bool registered = (RegisterTerminalFrontEnd(NewTerminalFrontEnd), true);

}  // namespace
}  // namespace ce::ui
