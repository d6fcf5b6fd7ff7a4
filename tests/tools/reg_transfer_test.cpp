// The platform's .reg export and import controls, in-process.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "platform/registry/registry_test_support.h"

namespace {

using regtest::ReadWholeFile;
using regtest::WriteWholeFile;

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\n\n";

class RegTransfer : public regtest::RegistryTest {
  protected:
    void SetText(const char16_t* path, const char16_t* name, char value) {
        ASSERT_EQ(Set(Create(HKEY_LOCAL_MACHINE, path), name, REG_SZ, {BYTE(value), 0, 0, 0}), ERROR_SUCCESS);
    }
    static bool Exists(const char16_t* path) { return KeyExists(HKEY_LOCAL_MACHINE, path); }

    LONG Import(const std::string& text) {
        WriteWholeFile(file_, text);
        std::memset(problem_, 0x7F, sizeof(problem_));
        return CeRegistryImportFile(file_.c_str(), problem_, sizeof(problem_));
    }

    regtest::ScratchDir scratch_;
    std::string file_ = scratch_.File("t.reg");
    char problem_[256];
};

TEST_F(RegTransfer, ExportWritesTheKeyAndBelowInCreationOrder) {
    SetText(u"Top\\Zeta", u"z", 'z');
    ASSERT_EQ(SetDword(Create(HKEY_LOCAL_MACHINE, u"Top\\Alpha"), u"", 1), ERROR_SUCCESS);
    SetText(u"Topper", u"x", 'x');
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
    SetText(u"Base", u"v", '1');
    // One byte over the largest value.
    std::string oversized = "[HKEY_LOCAL_MACHINE\\New]\n\"a\"=\"1\"\n\"big\"=hex:00";
    for (size_t i = 0; i < 1024 * 1024; ++i) {
        oversized += ",00";
    }
    const std::pair<std::string, const char*> bad[] = {
        {"[HKEY_LOCAL_MACHINE\\New]\n\"a\"=\"1\"\n[HKEY_NOWHERE\\X]\n", ":5: unknown root"},
        {"[HKEY_LOCAL_MACHINE\\New]\n[-HKEY_LOCAL_MACHINE]\n", ":4: a root key cannot be deleted"},
        {"[HKEY_LOCAL_MACHINE\\New]\n[HKEY_LOCAL_MACHINE\\a\\\\b]\n", ":4: bad key path"},
        {"[HKEY_LOCAL_MACHINE\\New]\n\"a\"=hex:1,\n", ":4:"},
        {oversized + "\n", ":5: value larger than 1048576 bytes"},
    };
    for (const auto& [body, where] : bad) {
        EXPECT_EQ(Import(std::string(kHeader) + body), ERROR_BADDB) << body.substr(0, 80);
        EXPECT_NE(std::strstr(problem_, where), nullptr) << problem_;
        EXPECT_FALSE(Exists(u"New")) << "applied part of a bad file: " << body;
    }
    EXPECT_TRUE(Exists(u"Base"));
}

TEST_F(RegTransfer, ImportAppliesSectionsInOrder) {
    SetText(u"Gone\\Below", u"x", 'x');
    SetText(u"Keep", u"drop", 'd');
    ASSERT_EQ(Import(std::string(kHeader) +
                     "[-HKEY_LOCAL_MACHINE\\Gone]\n[-HKEY_LOCAL_MACHINE\\NeverWas]\n"
                     "[HKEY_LOCAL_MACHINE\\Keep]\n\"drop\"=-\n\"absent\"=-\n\"new\"=dword:00000002\n"
                     "[HKEY_LOCAL_MACHINE]\n\"atroot\"=\"r\"\n"),
              ERROR_SUCCESS)
        << problem_;
    EXPECT_FALSE(Exists(u"Gone"));
    HKEY key = Open(HKEY_LOCAL_MACHINE, u"Keep");
    EXPECT_EQ(ValueNames(key), (std::vector<std::u16string>{u"new"}));
    EXPECT_EQ(Get(key, u"new"), std::make_pair(DWORD{REG_DWORD}, regtest::Bytes({2, 0, 0, 0})));
    EXPECT_EQ(Get(HKEY_LOCAL_MACHINE, u"atroot").first, static_cast<DWORD>(REG_SZ));
}

TEST_F(RegTransfer, ImportRefusedHalfWayChangesNothing) {
    // Only the tree can refuse the last section, a lasting key below a volatile one.
    SetText(u"Keep", u"v", 'k');
    Create(HKEY_LOCAL_MACHINE, u"Fleeting", REG_OPTION_VOLATILE);
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
