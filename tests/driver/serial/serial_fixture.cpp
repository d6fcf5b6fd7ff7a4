#include "driver/serial/serial_fixture.h"

#include <cstdio>
#include <cstdlib>

namespace serialtest {
namespace {

// A background call still running this long after its test is done has hung.
constexpr DWORD kHangMs = 60000 * ce_test::kSlowdown;

}  // namespace

Background::Background(std::function<void()> body)
    : thread_([this, body = std::move(body)] {
          body();
          std::lock_guard<std::mutex> lock(mutex_);
          done_ = true;
          ended_.notify_all();
      }) {}

Background::~Background() {
    if (!Wait(kHangMs)) {
        std::fprintf(stderr, "a call made in the background never ended: the driver hangs\n");
        std::abort();
    }
    thread_.join();
}

bool Background::Wait(DWORD ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return ended_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return done_; });
}

bool Background::Done() {
    std::lock_guard<std::mutex> lock(mutex_);
    return done_;
}

BYTE Stream::Next() {
    for (;;) {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        const auto byte = static_cast<BYTE>(state_ >> 24);
        if (!avoid_ || (byte != kXon && byte != kXoff)) {
            return byte;
        }
    }
}

std::vector<BYTE> Stream::Take(size_t count) {
    std::vector<BYTE> bytes(count);
    for (BYTE& byte : bytes) {
        byte = Next();
    }
    return bytes;
}

DCB GetState(HANDLE port) {
    DCB dcb{};
    EXPECT_TRUE(GetCommState(port, &dcb)) << "error " << GetLastError();
    return dcb;
}

void ChangeState(HANDLE port, const std::function<void(DCB&)>& change) {
    DCB dcb = GetState(port);
    change(dcb);
    ASSERT_TRUE(SetCommState(port, &dcb)) << "error " << GetLastError();
}

void SetTimeouts(HANDLE port, const COMMTIMEOUTS& timeouts) {
    COMMTIMEOUTS copy = timeouts;
    ASSERT_TRUE(SetCommTimeouts(port, &copy)) << "error " << GetLastError();
}

COMSTAT Status(HANDLE port, DWORD* errors) {
    COMSTAT status{};
    DWORD reported = kUnsetError;
    EXPECT_TRUE(ClearCommError(port, &reported, &status)) << "error " << GetLastError();
    if (errors != nullptr) {
        *errors = reported;
    } else {
        EXPECT_EQ(reported, 0u);
    }
    return status;
}

DWORD InQueue(HANDLE port) {
    return Status(port).cbInQue;
}

DWORD ModemLines(HANDLE port) {
    DWORD lines = kUnsetError;
    EXPECT_TRUE(GetCommModemStatus(port, &lines)) << "error " << GetLastError();
    return lines;
}

void Escape(HANDLE port, DWORD function) {
    EXPECT_TRUE(EscapeCommFunction(port, function))
        << "function " << function << ", error " << GetLastError();
}

void SetMask(HANDLE port, DWORD mask) {
    EXPECT_TRUE(SetCommMask(port, mask)) << "mask " << mask << ", error " << GetLastError();
}

Transfer WriteCall(HANDLE port, const void* bytes, DWORD count) {
    Transfer transfer;
    SetLastError(kUnsetError);
    transfer.ok = WriteFile(port, bytes, count, &transfer.bytes, nullptr);
    transfer.error = GetLastError();
    return transfer;
}

Transfer ReadCall(HANDLE port, void* bytes, DWORD count) {
    Transfer transfer;
    SetLastError(kUnsetError);
    transfer.ok = ReadFile(port, bytes, count, &transfer.bytes, nullptr);
    transfer.error = GetLastError();
    return transfer;
}

DWORD Write(HANDLE port, const std::vector<BYTE>& bytes) {
    const Transfer transfer = WriteCall(port, bytes.data(), static_cast<DWORD>(bytes.size()));
    EXPECT_TRUE(transfer.ok) << "error " << transfer.error;
    return transfer.bytes;
}

std::vector<BYTE> Read(HANDLE port, DWORD count) {
    std::vector<BYTE> bytes(count);
    const Transfer transfer = ReadCall(port, bytes.data(), count);
    EXPECT_TRUE(transfer.ok) << "error " << transfer.error;
    bytes.resize(transfer.ok && transfer.bytes <= count ? transfer.bytes : 0);
    return bytes;
}

std::vector<BYTE> Drain(HANDLE port) {
    SetTimeouts(port, kReturnAtOnce);
    return Read(port, kRingBytes * 2);
}

bool WaitForInQueue(HANDLE port, DWORD count, DWORD timeoutMs) {
    return tulktest::WaitUntil([&] { return InQueue(port) == count; }, timeoutMs);
}

void PairTest::SetUp() {
    DriverTest::SetUp();
    for (DWORD end : {0u, 1u}) {
        devices_[end] = tulktest::ActivatePort(tulktest::PairEnd(family_, end));
        ASSERT_NE(devices_[end], nullptr) << "error " << GetLastError();
    }
    for (DWORD end : {0u, 1u}) {
        ports_[end] = tulktest::OpenByName(Name(end), kData);
        ASSERT_NE(ports_[end], INVALID_HANDLE_VALUE) << "error " << GetLastError();
    }
}

void PairTest::TearDown() {
    for (HANDLE handle : extra_) {
        CloseHandle(handle);
    }
    for (HANDLE& handle : ports_) {
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
            handle = INVALID_HANDLE_VALUE;
        }
    }
    DriverTest::TearDown();
}

std::u16string PairTest::Name(DWORD end) const {
    return tulktest::DeviceName(tulktest::PairEnd(family_, end));
}

HANDLE PairTest::Reopen(DWORD end, DWORD access) {
    HANDLE handle = tulktest::OpenByName(Name(end), access);
    EXPECT_NE(handle, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    if (handle != INVALID_HANDLE_VALUE) {
        extra_.push_back(handle);
    }
    return handle;
}

std::string FamilyName(const char16_t* family) {
    return family[0] == u'C' ? "COM" : "KMX";
}

}  // namespace serialtest
