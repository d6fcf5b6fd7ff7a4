// The platform's .reg export and import controls, in-process.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include <ceplatform.h>
#include <windows.h>

#include "tools/program_runner.h"

namespace {

using tooltest::ReadWholeFile;
using tooltest::WriteWholeFile;

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\n\n";

class RegTransfer : public ::testing::Test {
  protected:
    void SetUp() override { CePlatformReset(); }
    void TearDown() override { CePlatformReset(); }

    static void Set(const char16_t* path, const char16_t* name, DWORD type, const std::vector<BYTE>& data) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, 0, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(key, name, 0, type, data.data(), static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    static bool Exists(const char16_t* path) {
        HKEY key = nullptr;
        const LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, 0, &key);
        if (status == ERROR_SUCCESS) {
            RegCloseKey(key);
        }
        return status == ERROR_SUCCESS;
    }

    LONG Import(const std::string& text) {
        WriteWholeFile(file_, text);
        std::memset(problem_, 0x7F, sizeof(problem_));
        return CeRegistryImportFile(file_.c_str(), problem_, sizeof(problem_));
    }

    tooltest::ScratchDirectory scratch_;
    std::string file_ = scratch_.File("t.reg");
    char problem_[256];
};

TEST_F(RegTransfer, ExportWritesTheKeyAndBelowInCreationOrder) {
    Set(u"Top\\Zeta", u"z", REG_SZ, {'z', 0, 0, 0});
    Set(u"Top\\Alpha", u"", REG_DWORD, {1, 0, 0, 0});
    Set(u"Topper", u"x", REG_SZ, {'x', 0, 0, 0});
    ASSERT_EQ(CeRegistryExportKey(HKEY_LOCAL_MACHINE, u"top\\", file_.c_str(), nullptr, 0), ERROR_SUCCESS);
    EXPECT_EQ(ReadWholeFile(file_), std::string(kHeader) +
                                        "[HKEY_LOCAL_MACHINE\\top]\n\n"
                                        "[HKEY_LOCAL_MACHINE\\top\\Zeta]\n\"z\"=\"z\"\n\n"
                                        "[HKEY_LOCAL_MACHINE\\top\\Alpha]\n@=dword:00000001\n\n");
}

TEST_F(RegTransfer, ExportRefusalsWriteNoFile) {
    const std::string none = scratch_.File("none.reg");
    std::memset(problem_, 0x7F, sizeof(problem_));
    EXPECT_EQ(CeRegistryExportKey(HKEY_LOCAL_MACHINE, u"Missing", none.c_str(), problem_, sizeof(problem_)),
              ERROR_FILE_NOT_FOUND);
    EXPECT_NE(std::strstr(problem_, "Missing"), nullptr) << problem_;
    EXPECT_EQ(CeRegistryExportKey(reinterpret_cast<HKEY>(0x1234), nullptr, none.c_str(), nullptr, 0),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(CeRegistryExportKey(HKEY_LOCAL_MACHINE, u"a\\\\b", none.c_str(), nullptr, 0),
              ERROR_BAD_PATHNAME);
    EXPECT_FALSE(std::filesystem::exists(none));
    EXPECT_EQ(CeRegistryExportKey(HKEY_LOCAL_MACHINE, nullptr, nullptr, nullptr, 0), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(CeRegistryExportKey(HKEY_LOCAL_MACHINE, nullptr, "", nullptr, 0), ERROR_INVALID_PARAMETER);
    // A directory that does not exist: the save's own reason, and no stray temporary file.
    const std::string nowhere = scratch_.File("no/such/dir.reg");
    EXPECT_EQ(CeRegistryExportKey(HKEY_LOCAL_MACHINE, nullptr, nowhere.c_str(), problem_, sizeof(problem_)),
              ERROR_REGISTRY_IO_FAILED);
    EXPECT_NE(std::strstr(problem_, "no/such"), nullptr) << problem_;
}

TEST_F(RegTransfer, ProblemTextIsCutToTheBuffer) {
    char small[8];
    std::memset(small, 0x7F, sizeof(small));
    EXPECT_EQ(CeRegistryImportFile(scratch_.File("absent.reg").c_str(), small, 5), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(std::strlen(small), 4u);
    EXPECT_EQ(small[5], 0x7F) << "wrote past the size it was given";
}

TEST_F(RegTransfer, ImportChecksTheWholeFileFirst) {
    Set(u"Base", u"v", REG_SZ, {'1', 0, 0, 0});
    const std::pair<const char*, const char*> bad[] = {
        {"[HKEY_LOCAL_MACHINE\\New]\n\"a\"=\"1\"\n[HKEY_NOWHERE\\X]\n", ":5: unknown root"},
        {"[HKEY_LOCAL_MACHINE\\New]\n[-HKEY_LOCAL_MACHINE]\n", ":4: a root key cannot be deleted"},
        {"[HKEY_LOCAL_MACHINE\\New]\n[HKEY_LOCAL_MACHINE\\a\\\\b]\n", ":4: bad key path"},
        {"[HKEY_LOCAL_MACHINE\\New]\n\"a\"=hex:1,\n", ":4:"},
    };
    for (const auto& [body, where] : bad) {
        EXPECT_EQ(Import(std::string(kHeader) + body), ERROR_BADDB) << body;
        EXPECT_NE(std::strstr(problem_, where), nullptr) << problem_;
        EXPECT_FALSE(Exists(u"New")) << "applied part of a bad file: " << body;
    }
    EXPECT_TRUE(Exists(u"Base"));
}

TEST_F(RegTransfer, ImportAppliesSectionsInOrder) {
    Set(u"Gone\\Below", u"x", REG_SZ, {'x', 0, 0, 0});
    Set(u"Keep", u"drop", REG_SZ, {'d', 0, 0, 0});
    ASSERT_EQ(Import(std::string(kHeader) +
                     "[-HKEY_LOCAL_MACHINE\\Gone]\n[-HKEY_LOCAL_MACHINE\\NeverWas]\n"
                     "[HKEY_LOCAL_MACHINE\\Keep]\n\"drop\"=-\n\"absent\"=-\n\"new\"=dword:00000002\n"
                     "[HKEY_LOCAL_MACHINE]\n\"atroot\"=\"r\"\n"),
              ERROR_SUCCESS)
        << problem_;
    EXPECT_FALSE(Exists(u"Gone"));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Keep", 0, 0, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(key, u"drop", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    DWORD value = 0;
    DWORD size = sizeof(value);
    EXPECT_EQ(RegQueryValueExW(key, u"new", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 2u);
    RegCloseKey(key);
    EXPECT_EQ(RegQueryValueExW(HKEY_LOCAL_MACHINE, u"atroot", nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
}

TEST_F(RegTransfer, ImportRefusedHalfWayChangesNothing) {
    // Only the tree can refuse the last section, a lasting key below a volatile one.
    Set(u"Keep", u"v", REG_SZ, {'k', 0, 0, 0});
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Fleeting", 0, nullptr, REG_OPTION_VOLATILE, 0, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(
        Import(std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\New]\n\"a\"=\"1\"\n[-HKEY_LOCAL_MACHINE\\Keep]\n"
                                      "[HKEY_LOCAL_MACHINE\\Fleeting\\Lasting]\n"),
        ERROR_CHILD_MUST_BE_VOLATILE);
    EXPECT_NE(std::strstr(problem_, ":6: "), nullptr) << problem_;
    EXPECT_FALSE(Exists(u"New"));
    EXPECT_TRUE(Exists(u"Keep"));
    // A removal earlier in the same file clears the way.
    EXPECT_EQ(Import(std::string(kHeader) +
                     "[-HKEY_LOCAL_MACHINE\\Fleeting]\n[HKEY_LOCAL_MACHINE\\Fleeting\\Lasting]\n"),
              ERROR_SUCCESS)
        << problem_;
    EXPECT_TRUE(Exists(u"Fleeting\\Lasting"));
}

}  // namespace
