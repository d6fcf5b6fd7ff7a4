// The window calls of programs: publishing their top-level windows, and finding and asking for another's.
#include <winuser.h>

#include "host/serve.h"
#include "host/window_directory.h"

namespace ce::host {

using namespace wire;
namespace {

// A class name or title: at most kMaxWindowTextChars characters, or null.
WindowText TakeText(Reader& request) {
    bool isNull = true;
    std::u16string text = request.String(&isNull, kMaxWindowTextChars);
    return isNull ? WindowText() : WindowText(std::move(text));
}

void PutText(Writer& reply, const WindowText& text) {
    if (text) {
        reply.String(std::u16string_view(*text));
    } else {
        reply.String(static_cast<LPCWSTR>(nullptr));
    }
}

bool Publish(Session& session, Reader& request, Writer& reply) {
    const uint32_t window = request.U32();
    const WindowText className = TakeText(request);
    const WindowText title = TakeText(request);
    const uint32_t visible = request.U32();
    const uint32_t thread = request.U32();
    if (!request.Complete() || window == 0 || visible > 1) {
        return false;
    }
    reply.U32(WindowDirectory::Instance().Publish(session, window, className, title, visible != 0, thread));
    return true;
}

bool Withdraw(Session& session, Reader& request, Writer&) {
    const uint32_t window = request.U32();
    if (!request.Complete()) {
        return false;
    }
    WindowDirectory::Instance().Withdraw(session, window);
    return true;
}

bool Find(Session& session, Reader& request, Writer& reply) {
    const WindowText className = TakeText(request);
    const WindowText title = TakeText(request);
    if (!request.Complete()) {
        return false;
    }
    reply.U64(WindowDirectory::Instance().Find(session, className, title));
    return true;
}

bool Query(Session&, Reader& request, Writer& reply) {
    const uint64_t id = request.U64();
    if (!request.Complete()) {
        return false;
    }
    const WindowState state = WindowDirectory::Instance().Query(id);
    reply.U32(state.alive ? 1 : 0);
    reply.U32(state.visible ? 1 : 0);
    PutText(reply, state.title);
    reply.U32(state.process);
    reply.U32(state.thread);
    return true;
}

bool Show(Session&, Reader& request, Writer& reply) {
    const uint64_t id = request.U64();
    const uint32_t command = request.U32();
    if (!request.Complete() || command > SW_SHOWDEFAULT) {
        return false;
    }
    bool wasVisible = false;
    reply.U32(WindowDirectory::Instance().Show(id, command, &wasVisible));
    reply.U32(wasVisible ? 1 : 0);
    return true;
}

bool Foreground(Session&, Reader& request, Writer& reply) {
    const uint64_t id = request.U64();
    if (!request.Complete()) {
        return false;
    }
    reply.U32(WindowDirectory::Instance().Foreground(id));
    return true;
}

}  // namespace

Handler WindowHandler(Op op) {
    switch (op) {
        case Op::WindowPublish:
            return Publish;
        case Op::WindowWithdraw:
            return Withdraw;
        case Op::WindowFind:
            return Find;
        case Op::WindowQuery:
            return Query;
        case Op::WindowShow:
            return Show;
        case Op::WindowForeground:
            return Foreground;
        default:
            return nullptr;
    }
}

}  // namespace ce::host
