#include "wire/hello.h"

#include <unistd.h>

#include <cerrno>

#include "wire/device_dir.h"
#include "wire/host_connection.h"

namespace ce::wire {
namespace {

// Whether the peer runs as another user, and which.
bool AnotherUsers(int fd, uid_t* uid) {
    pid_t pid = 0;
    return PeerCredentials(fd, &pid, uid) && *uid != geteuid();
}

std::string SecondsOf(int milliseconds) {
    return std::to_string(milliseconds / 1000) + " s";
}

}  // namespace

Hello ExchangeHello(int fd, Writer& hello, int passed) {
    Hello outcome;
    const Op op = MessageOp(hello.Finish());
    if (!SendMessage(fd, hello.Finish(), passed)) {
        return outcome;
    }
    if (!MessageWithin(fd, kHelloTimeoutMs)) {
        outcome.outcome = HelloOutcome::NoAnswer;
        return outcome;
    }
    if (ReceiveMessage(fd, &outcome.reply) != Received::Message) {
        return outcome;
    }
    Reader fields(outcome.reply);
    const uint32_t error = fields.U32();
    const Op answered = MessageOp(outcome.reply);
    if (answered == op && fields.ok() && error == ERROR_SUCCESS) {
        outcome.outcome = HelloOutcome::Accepted;
    } else {
        outcome.outcome = HelloOutcome::Refused;
        outcome.error = answered == Op::Refused && fields.ok() ? error : ERROR_INVALID_PARAMETER;
    }
    return outcome;
}

bool OfAnotherVersion(const Hello& hello, int fd, const std::string& dir) {
    if (hello.outcome == HelloOutcome::Refused) {
        return hello.error == ERROR_REVISION_MISMATCH;
    }
    uid_t uid = 0;
    return hello.outcome == HelloOutcome::Ended && !AnotherUsers(fd, &uid) && HostRunning(dir);
}

std::string HelloProblem(const Hello& hello, int fd, const std::string& dir) {
    if (uid_t other = 0; AnotherUsers(fd, &other)) {
        return "the device host belongs to user " + std::to_string(other) +
               ", and a host serves its own user's programs only";
    }
    if (OfAnotherVersion(hello, fd, dir)) {
        return "the device host is of another version (\"cedevice stop\" ends it)";
    }
    switch (hello.outcome) {
        case HelloOutcome::NoAnswer:
            return "the device host did not answer within " + SecondsOf(kHelloTimeoutMs) +
                   " (is it stopped? \"cedevice status\" tells)";
        case HelloOutcome::Ended:
            return "the device host ended while this program joined it (see " + LogPath(dir) + ")";
        case HelloOutcome::Accepted:
            return "the device host answered";
        case HelloOutcome::Refused:
            break;
    }
    switch (hello.error) {
        case ERROR_NOT_ENOUGH_QUOTA:
            return "the device host refused a connection: this program holds as many as one program may "
                   "(one per thread that calls it)";
        case ERROR_NO_SYSTEM_RESOURCES:
            return "the device host refused a connection: it serves as many as it can";
        case ERROR_TIMEOUT:
            return "the device host gave up waiting for this program's hello";
        case ERROR_ACCESS_DENIED:
            return "the device host refused this program's user";
        default:
            return "the device host refused a connection (error " + std::to_string(hello.error) + ")";
    }
}

}  // namespace ce::wire
