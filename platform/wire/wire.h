// Encoding of message fields and the transfer of whole messages over a SOCK_SEQPACKET connection.
//
// Fields are little-endian as the machine stores them (both ends are the same machine): u32, u64, byte
// strings (u32 length, bytes) and UTF-16 strings (u32 count of characters or kNullString, characters).
// A Reader never reads past its message: a field that does not fit reads as zero and marks the reader bad,
// so a handler checks once, after taking every field, with Complete().
#pragma once

#include <sys/types.h>
#include <sys/un.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

#include "wire/protocol.h"

namespace ce::wire {

inline constexpr uint32_t kNullString = 0xFFFFFFFFu;

class Writer {
  public:
    explicit Writer(Op op);

    void U32(uint32_t value) { Append(&value, sizeof(value)); }
    void U64(uint64_t value) { Append(&value, sizeof(value)); }
    void Bytes(const void* data, uint32_t size);
    // Room for size bytes the caller fills in place (a safe copy from a caller's buffer); answers it.
    uint8_t* Reserve(uint32_t size);
    // A null pointer crosses as a null string.
    void String(LPCWSTR text);
    void String(std::u16string_view text);

    // Which processor the calling thread runs on (MessageHeader::processor).
    void SetProcessor(uint16_t processor);
    // The message with its header filled in.
    const std::vector<uint8_t>& Finish();
    size_t size() const { return bytes_.size(); }

  private:
    void Append(const void* data, size_t size);

    std::vector<uint8_t> bytes_;
};

class Reader {
  public:
    // Reads the fields after the header of message.
    explicit Reader(const std::vector<uint8_t>& message);

    uint32_t U32() { return Take<uint32_t>(); }
    uint64_t U64() { return Take<uint64_t>(); }
    // Answers a view into the message; empty (and bad) when it does not fit.
    std::string_view Bytes();
    // A string of at most maxChars characters; *isNull tells a null string from an empty one. The
    // characters up to a NUL count, as a C string passed by the caller would.
    std::u16string String(bool* isNull, size_t maxChars);

    bool ok() const { return ok_; }
    // Every field read and none missing.
    bool Complete() const { return ok_ && offset_ == size_; }

  private:
    template <class T>
    T Take() {
        T value{};
        if (size_ - offset_ < sizeof(T)) {
            ok_ = false;
            return value;
        }
        std::memcpy(&value, data_ + offset_, sizeof(T));
        offset_ += sizeof(T);
        return value;
    }

    const uint8_t* data_;
    size_t size_;
    size_t offset_;
    bool ok_ = true;
};

enum class Received { Message, Closed, Malformed };

// Sends a whole message; false when the connection is gone (no SIGPIPE is raised). A descriptor `passed`
// (a hello's shared memory) goes along with the first record.
bool SendMessage(int fd, const std::vector<uint8_t>& message, int passed = -1);
// Receives one whole message into *message (header included). Closed: the peer went away. Malformed: a
// record too short for a header, a size over maxBytes or records that do not add up to it; the connection
// cannot be trusted any more. With `passed`, a descriptor the first record carried is taken (-1 when none);
// without it, and beyond the first, descriptors a peer sends are closed unseen.
Received ReceiveMessage(int fd, std::vector<uint8_t>* message, size_t maxBytes = kMaxMessageBytes,
                        int* passed = nullptr);

// Whether a message (or the connection's end) waits on fd within timeoutMs (-1: however long it takes).
bool MessageWithin(int fd, int timeoutMs);

// Operation of a received message.
Op MessageOp(const std::vector<uint8_t>& message);
uint16_t MessageProcessor(const std::vector<uint8_t>& message);

// A new SOCK_SEQPACKET socket (close-on-exec) and the address of path for it; -1 (errno set) when path
// is too long for a socket address or no socket can be had.
int OpenSocket(const std::string& path, sockaddr_un* address);

// The connected peer's process and user.
bool PeerCredentials(int fd, pid_t* pid, uid_t* uid);

}  // namespace ce::wire
