// ShellExecuteExW: "open" on a file:// address runs the opener with a Linux file URL and does not wait;
// without a file, or without a program to open it, it fails as Win32 does; bad arguments are refused.
#include "ui_test_support.h"

#include "tools/program_runner.h"

#include <shellapi.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

class Shell : public ::testing::Test {
  protected:
    void SetUp() override {
        tooltest::WriteWholeFile(document_, "<html></html>");
        tooltest::WriteWholeFile(opener_, "#!/bin/sh\nprintf '%s' \"$1\" > " + record_ + ".tmp && mv " +
                                              record_ + ".tmp " + record_ + "\n");
        chmod(opener_.c_str(), 0755);
        setenv("CE_SHELL_OPENER", opener_.c_str(), 1);
    }
    void TearDown() override { unsetenv("CE_SHELL_OPENER"); }

    static SHELLEXECUTEINFOW Info(const std::u16string& file, LPCWSTR verb = u"open") {
        static std::u16string kept;
        kept = file;
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_NOCLOSEPROCESS;
        info.lpVerb = verb;
        info.lpFile = kept.c_str();
        info.nShow = SW_SHOWNORMAL;
        return info;
    }
    std::string WaitForRecord() {
        std::string url = tooltest::ReadWholeFile(record_);
        for (int i = 0; i < 200 && url.empty(); ++i) {
            Sleep(25);
            url = tooltest::ReadWholeFile(record_);
        }
        return url;
    }
    std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

    tooltest::ScratchDirectory scratch_;
    std::string directory_ = scratch_.path().string();
    std::string document_ = scratch_.File("user guide.htm");
    std::string record_ = scratch_.File("opened");
    std::string opener_ = scratch_.File("opener");
};

TEST_F(Shell, OpensAFileAddressWithTheOpener) {
    std::string deviceStyle = "file://" + document_;
    for (char& c : deviceStyle) {
        if (c == '/' && &c > &deviceStyle[7]) {
            c = '\\';
        }
    }
    SHELLEXECUTEINFOW info = Info(Wide(deviceStyle));
    info.hProcess = reinterpret_cast<HANDLE>(0x77);
    ASSERT_TRUE(ShellExecuteExW(&info));
    EXPECT_GT(reinterpret_cast<ULONG_PTR>(info.hInstApp), 32u);
    EXPECT_EQ(info.hProcess, nullptr);
    EXPECT_EQ(WaitForRecord(), "file://" + directory_ + "/user%20guide.htm")
        << "backslashes became slashes and the blank is escaped";
    std::remove(record_.c_str());
    info = Info(Wide("file://" + document_), nullptr);
    EXPECT_TRUE(ShellExecuteExW(&info)) << "a null verb means open";
    EXPECT_FALSE(WaitForRecord().empty());
}

TEST_F(Shell, FailuresSayWhy) {
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ShellExecuteExW(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    struct Case {
        const char* what;
        std::string file;
        LPCWSTR verb;
        DWORD size;
        std::string opener;
        ULONG_PTR answer;  // hInstApp
        DWORD error;
    };
    const std::string document = "file://" + document_;
    const DWORD size = sizeof(SHELLEXECUTEINFOW);
    const Case cases[] = {
        {"wrong size", document, u"open", 60, opener_, 0, ERROR_INVALID_PARAMETER},
        {"other verb", document, u"print", size, opener_, SE_ERR_NOASSOC, ERROR_INVALID_PARAMETER},
        {"no file", "file://" + directory_ + "/missing.htm", u"open", size, opener_, SE_ERR_FNF,
         ERROR_FILE_NOT_FOUND},
        {"no opener, no terminal", document, u"open", size, directory_ + "/none", SE_ERR_NOASSOC,
         ERROR_NO_ASSOCIATION},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        setenv("CE_SHELL_OPENER", c.opener.c_str(), 1);
        SHELLEXECUTEINFOW info = Info(Wide(c.file), c.verb);
        info.cbSize = c.size;
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(ShellExecuteExW(&info));
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(reinterpret_cast<ULONG_PTR>(info.hInstApp), c.answer);
    }
    EXPECT_FALSE(std::filesystem::exists(record_)) << "nothing was opened";
}

}  // namespace
