// The seam between the window system and whatever shows it: the headless front-end that tests drive, or the
// terminal front-end. The message loop asks the front-end for input when a thread has nothing else to do,
// and tells it when something changed, so that it repaints at the next idle.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

namespace ce::ui {

struct InputEvent {
    enum class Kind { KeyDown, KeyUp, Char, MouseDown, MouseUp, Close, Resize };
    Kind kind = Kind::KeyDown;
    UINT vk = 0;         // KeyDown, KeyUp
    UINT modifiers = 0;  // CE_UI_SHIFT, CE_UI_CTRL, CE_UI_ALT
    char16_t ch = 0;     // Char
    int x = 0, y = 0;    // MouseDown, MouseUp: screen pixels
};

class FrontEnd {
  public:
    virtual ~FrontEnd() = default;
    // True when a person sees the screen (false for the headless front-end).
    virtual bool ShowsScreen() const = 0;
    // Something visible changed. Cheap and callable from any thread with or without the window lock.
    virtual void Changed() = 0;
    // Called by a thread of the window system that has nothing left to do, without the window lock, right
    // before it waits for input: the time to repaint what changed.
    virtual void Idle() = 0;
    // A top-level window asks to be shown in front (SetForegroundWindow).
    virtual void Attention(HWND window) = 0;
    // Counts the calls of Wake. A thread reads it before it looks at its own queue and hands it to
    // WaitForInput, so a message that arrives in between is not slept through.
    virtual unsigned long WakeCount() = 0;
    // Waits up to timeoutMs for one input event. False at the timeout, or at once when Wake was called
    // since the count was read.
    virtual bool WaitForInput(DWORD timeoutMs, unsigned long wakeCount, InputEvent* event) = 0;
    // Ends every WaitForInput early, from any thread: a message arrived for a thread that may be waiting.
    virtual void Wake() = 0;
    // Lends the terminal the screen is shown in to another program: puts the screen aside and gives the
    // terminal back as it was found, until ResumeScreen takes it again and repaints. Meanwhile nothing is
    // drawn and nothing read. False when the front-end has no terminal to lend.
    virtual bool SuspendScreen() { return false; }
    virtual void ResumeScreen() {}
};

// What both front-ends share: the queue of decoded input and the wake count, under one lock that the
// front-end's own waiting state may share.
class QueuedFrontEnd : public FrontEnd {
  public:
    unsigned long WakeCount() override;
    void Wake() override;

  protected:
    // Called by Wake after the waiters were told, without the lock.
    virtual void WokenUp() {}
    // Appends events and tells the waiters.
    void QueueEvents(const InputEvent* events, size_t count);
    // Takes the oldest event unless Wake was called since `wakeCount` was read. Caller holds lock_.
    bool TakeEventLocked(unsigned long wakeCount, InputEvent* event);

    std::mutex lock_;
    std::condition_variable changed_;  // the queue or the wake count changed
    std::deque<InputEvent> events_;    // guarded by lock_
    unsigned long wakeCount_ = 0;      // guarded by lock_
};

// The front-end of the process, chosen at first use: the terminal front-end when one is registered and
// standard input and output are terminals and CE_UI_HEADLESS is not 1; the headless one otherwise.
FrontEnd& CurrentFrontEnd();
bool HeadlessFrontEndActive();
// The front-end once chosen, else null: for calls that must not choose one (and open the terminal) first.
FrontEnd* ChosenFrontEnd();

// The terminal front-end registers its factory before the first window exists.
using FrontEndFactory = FrontEnd* (*)();
void RegisterTerminalFrontEnd(FrontEndFactory factory);

// The headless front-end's injection, for ceplatform_ui.h.
FrontEnd* NewHeadlessFrontEnd();
bool InjectHeadlessInput(const InputEvent& event);
bool WaitHeadlessIdle(DWORD timeoutMs);

}  // namespace ce::ui
