#include "host/serve.h"

#include <exception>
#include <new>

namespace ce::host {

using namespace wire;

std::vector<uint8_t> Serve(Session& session, const std::vector<uint8_t>& request) {
    const Op op = MessageOp(request);
    Handler handler = RegistryHandler(op);
    if (handler == nullptr) {
        handler = DeviceHandler(op);
    }
    if (handler == nullptr) {
        handler = WindowHandler(op);
    }
    try {
        if (handler != nullptr) {
            Reader fields(request);
            Writer reply(op);
            reply.U32(0);
            if (handler(session, fields, reply)) {
                return reply.Finish();
            }
        }
        Writer refusal(op);
        refusal.U32(ERROR_INVALID_PARAMETER);
        return refusal.Finish();
    } catch (const std::bad_alloc&) {
        Writer refusal(op);
        refusal.U32(ERROR_NOT_ENOUGH_MEMORY);
        return refusal.Finish();
    } catch (const std::exception&) {
        Writer refusal(op);
        refusal.U32(ERROR_GEN_FAILURE);
        return refusal.Finish();
    }
}

}  // namespace ce::host
