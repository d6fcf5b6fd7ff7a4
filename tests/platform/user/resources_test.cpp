// Module and resource calls: module handles and file names, finding and loading resources compiled into
// this program by the build, resources of a module loaded and unloaded at run time, the registration of
// resource images and its refusal of malformed ones, and the WinMain entry.
#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <climits>
#include <string>
#include <vector>

#include <ceplatform_ui.h>
#include <gtest/gtest.h>
#include <windows.h>

#include "res_image_builder.h"
#include "resources_test_ids.h"
#include "tools/program_runner.h"

namespace {

constexpr DWORD kUntouched = 0xDEADBEEF;
constexpr WCHAR kFill = 0xFFFF;

HMODULE ModuleOf(const void* address) {
    Dl_info info{};
    return dladdr(address, &info) != 0 ? static_cast<HMODULE>(info.dli_fbase) : nullptr;
}

std::u16string ProgramPath() {
    char buffer[PATH_MAX] = {};
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return std::u16string(buffer, buffer + (length > 0 ? length : 0));  // ASCII paths in the build tree
}

std::vector<BYTE> ResourceBytes(HMODULE module, LPCWSTR name, LPCWSTR type) {
    HRSRC found = FindResourceW(module, name, type);
    if (found == nullptr) {
        return {};
    }
    auto* data = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    DWORD size = SizeofResource(module, found);
    return data ? std::vector<BYTE>(data, data + size) : std::vector<BYTE>{};
}

// ---- module handles and names ---------------------------------------------------------------------------

TEST(ModuleHandle, NullIsTheProgramAndLoadedModulesAreFoundByFileNameInAnyCase) {
    EXPECT_EQ(GetModuleHandleW(nullptr), ModuleOf(reinterpret_cast<const void*>(&ProgramPath)));
    EXPECT_EQ(GetModuleHandleW(ProgramPath().c_str()), GetModuleHandleW(nullptr));
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<const void*>(&GetModuleHandleW), &info), 0);
    const std::string path = info.dli_fname;
    std::u16string upper(path.begin() + static_cast<long>(path.rfind('/') + 1), path.end());
    for (char16_t& c : upper) {
        c = (c >= u'a' && c <= u'z') ? c - u'a' + u'A' : c;
    }
    EXPECT_EQ(GetModuleHandleW(upper.c_str()), info.dli_fbase);
    EXPECT_EQ(GetModuleHandleW(std::u16string(path.begin(), path.end()).c_str()), info.dli_fbase);
}

TEST(ModuleHandle, UnknownNamesAreRefused) {
    for (LPCWSTR name : {u"", u"no-such-module.dll", u"no-such-module", u"/no/such/libceplatform.so"}) {
        SetLastError(kUntouched);
        EXPECT_EQ(GetModuleHandleW(name), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    }
}

TEST(ModuleFileName, AWholeBufferGetsThePathAndKeepsTheLastError) {
    std::u16string expected = ProgramPath();
    std::array<WCHAR, MAX_PATH> buffer;
    buffer.fill(kFill);
    SetLastError(kUntouched);
    DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    EXPECT_EQ(length, expected.size());
    EXPECT_EQ(std::u16string(buffer.data()), expected);
    EXPECT_EQ(buffer[length + 1], kFill);
    EXPECT_EQ(GetLastError(), kUntouched);
    // The program's handle names the same file.
    buffer.fill(kFill);
    EXPECT_EQ(GetModuleFileNameW(GetModuleHandleW(nullptr), buffer.data(), MAX_PATH), expected.size());
    EXPECT_EQ(std::u16string(buffer.data()), expected);
}

TEST(ModuleFileName, DegenerateBuffersAndBadModules) {
    std::array<WCHAR, 4> buffer;
    buffer.fill(kFill);
    SetLastError(kUntouched);
    EXPECT_EQ(GetModuleFileNameW(nullptr, buffer.data(), 0), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(buffer[0], kFill);

    EXPECT_EQ(GetModuleFileNameW(nullptr, buffer.data(), 1), 1u);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[1], kFill);

    SetLastError(kUntouched);
    EXPECT_EQ(GetModuleFileNameW(nullptr, nullptr, MAX_PATH), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    // Inside a module but not its start, and plain garbage.
    auto inside = reinterpret_cast<HMODULE>(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr)) + 16);
    for (HMODULE bad : {inside, reinterpret_cast<HMODULE>(0x1234)}) {
        buffer.fill(kFill);
        SetLastError(kUntouched);
        EXPECT_EQ(GetModuleFileNameW(bad, buffer.data(), static_cast<DWORD>(buffer.size())), 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
        EXPECT_EQ(buffer[0], kFill);
    }
}

// ---- finding and loading resources -----------------------------------------------------------------------

struct LookupCase {
    const char* what;
    LPCWSTR name;
    LPCWSTR type;
    DWORD error;  // ERROR_SUCCESS when found
    HMODULE module = nullptr;
};

class FindResourceLookup : public testing::TestWithParam<LookupCase> {};

TEST_P(FindResourceLookup, FindsOrSaysWhyNot) {
    SetLastError(kUntouched);
    HRSRC found = FindResourceW(GetParam().module, GetParam().name, GetParam().type);
    if (GetParam().error == ERROR_SUCCESS) {
        EXPECT_NE(found, nullptr);
        EXPECT_EQ(GetLastError(), kUntouched);
    } else {
        EXPECT_EQ(found, nullptr);
        EXPECT_EQ(GetLastError(), GetParam().error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, FindResourceLookup,
    testing::Values(
        LookupCase{"ordinal", MAKEINTRESOURCEW(IDI_TWO_SIZES), RT_GROUP_ICON, ERROR_SUCCESS},
        LookupCase{"ordinal_as_text", u"#131", RT_GROUP_ICON, ERROR_SUCCESS},
        LookupCase{"type_as_text", MAKEINTRESOURCEW(IDD_CLASSIC), u"#5", ERROR_SUCCESS},
        LookupCase{"user_type_any_case", MAKEINTRESOURCEW(IDI_TWO_SIZES), u"cetermicon", ERROR_SUCCESS},
        LookupCase{"string_name_any_case", u"namedicon", RT_GROUP_ICON, ERROR_SUCCESS},
        LookupCase{"string_type_and_name", u"greeting", u"Text", ERROR_SUCCESS},
        LookupCase{"images_of_icons", MAKEINTRESOURCEW(1), RT_ICON, ERROR_SUCCESS},
        LookupCase{"raw_data", MAKEINTRESOURCEW(IDR_BYTES), RT_RCDATA, ERROR_SUCCESS},
        LookupCase{"missing_ordinal", MAKEINTRESOURCEW(999), RT_DIALOG, ERROR_RESOURCE_NAME_NOT_FOUND},
        LookupCase{"ordinal_is_not_a_name", u"131", RT_GROUP_ICON, ERROR_RESOURCE_NAME_NOT_FOUND},
        LookupCase{"name_is_not_an_ordinal", MAKEINTRESOURCEW(IDI_TWO_SIZES), u"#14x",
                   ERROR_RESOURCE_TYPE_NOT_FOUND},
        LookupCase{"missing_type", MAKEINTRESOURCEW(IDD_CLASSIC), RT_BITMAP, ERROR_RESOURCE_TYPE_NOT_FOUND},
        LookupCase{"missing_string_type", MAKEINTRESOURCEW(IDD_CLASSIC), u"NOSUCHTYPE",
                   ERROR_RESOURCE_TYPE_NOT_FOUND},
        LookupCase{"null_name", nullptr, RT_DIALOG, ERROR_RESOURCE_NAME_NOT_FOUND},
        LookupCase{"null_type", MAKEINTRESOURCEW(IDD_CLASSIC), nullptr, ERROR_RESOURCE_TYPE_NOT_FOUND},
        LookupCase{"module_without_resources", MAKEINTRESOURCEW(IDD_CLASSIC), RT_DIALOG,
                   ERROR_RESOURCE_DATA_NOT_FOUND, ModuleOf(reinterpret_cast<const void*>(&FindResourceW))},
        LookupCase{"bad_module", MAKEINTRESOURCEW(IDD_CLASSIC), RT_DIALOG, ERROR_INVALID_HANDLE,
                   reinterpret_cast<HMODULE>(0x1234)}),
    [](const testing::TestParamInfo<LookupCase>& info) { return std::string(info.param.what); });

TEST(LoadResource, NullAndTheProgramsHandleFindAndLoadTheSameResource) {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(IDD_CLASSIC), RT_DIALOG);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(FindResourceW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_CLASSIC), RT_DIALOG), found);
    EXPECT_NE(FindResourceW(nullptr, MAKEINTRESOURCEW(IDD_EXTENDED), RT_DIALOG), found);
    HGLOBAL loaded = LoadResource(nullptr, found);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(LoadResource(GetModuleHandleW(nullptr), found), loaded);
    EXPECT_EQ(LockResource(loaded), loaded);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(loaded) % sizeof(DWORD), 0u) << "templates are read as DWORDs";
    EXPECT_GT(SizeofResource(nullptr, found), 0u);
    EXPECT_EQ(SizeofResource(GetModuleHandleW(nullptr), found), SizeofResource(nullptr, found));
}

TEST(LoadResource, GarbageAndForeignHandlesAreRefused) {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(IDD_CLASSIC), RT_DIALOG);
    ASSERT_NE(found, nullptr);
    HMODULE platform = ModuleOf(reinterpret_cast<const void*>(&FindResourceW));
    auto garbage = reinterpret_cast<HRSRC>(reinterpret_cast<uintptr_t>(found) + 0x100000);
    struct Call {
        HMODULE module;
        HRSRC resource;
    };
    for (Call call : {Call{nullptr, nullptr}, Call{nullptr, garbage},
                      Call{nullptr, reinterpret_cast<HRSRC>(1)}, Call{platform, found}}) {
        SetLastError(kUntouched);
        EXPECT_EQ(LoadResource(call.module, call.resource), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        SetLastError(kUntouched);
        EXPECT_EQ(SizeofResource(call.module, call.resource), 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    SetLastError(kUntouched);
    EXPECT_EQ(LockResource(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), kUntouched);
    int notResource = 0;
    EXPECT_EQ(LockResource(&notResource), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// A dialog run from the resources fails as its lookup does (the demo program of the terminal tests runs one).
TEST(LoadResource, ADialogWithoutItsTemplateIsNotRun) {
    SetLastError(kUntouched);
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(999), nullptr, nullptr, 0), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

// ---- a module with resources of its own, loaded and unloaded ---------------------------------------------

TEST(ModuleResources, ComeAndGoWithTheirModule) {
    void* library = dlopen(RESOURCE_PROBE_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    HMODULE module = GetModuleHandleW(u"resprobe");  // ".dll" is understood, as on the device
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module, ModuleOf(dlsym(library, "ResourceProbeMarker")));
    EXPECT_EQ(GetModuleHandleW(u"RESPROBE.DLL"), module);

    // Its resources, not the program's, answer through its handle.
    EXPECT_EQ(ResourceBytes(module, MAKEINTRESOURCEW(IDR_BYTES), RT_RCDATA),
              (std::vector<BYTE>{'m', 'o', 'd', 'u', 'l', 'e'}));
    SetLastError(kUntouched);
    EXPECT_EQ(FindResourceW(module, MAKEINTRESOURCEW(IDD_CLASSIC), RT_DIALOG), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(IDR_BYTES), RT_RCDATA);
    ASSERT_NE(found, nullptr);
    SetLastError(kUntouched);
    EXPECT_NE(LoadResource(nullptr, found), nullptr) << "NULL accepts any module's resource";
    EXPECT_EQ(LoadResource(GetModuleHandleW(nullptr), found), nullptr);
    HICON icon = LoadIconW(module, MAKEINTRESOURCEW(IDI_TWO_SIZES));
    ASSERT_NE(icon, nullptr);
    EXPECT_NE(icon, LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_TWO_SIZES)));

    ASSERT_EQ(dlclose(library), 0);
    EXPECT_EQ(GetModuleHandleW(u"resprobe"), nullptr) << "the module did not unload";
    SetLastError(kUntouched);
    EXPECT_EQ(LoadResource(nullptr, found), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(kUntouched);
    EXPECT_FALSE(DestroyIcon(icon)) << "an icon outlived its module's resources";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_CURSOR_HANDLE));
}

// ---- registration of resource images ---------------------------------------------------------------------

constexpr WORD kImageOrdinal = 4242;

ResImageBuilder SmallBuilder() {
    ResImageBuilder builder;
    builder.Add(ResImageBuilder::Ordinal(10), ResImageBuilder::Ordinal(kImageOrdinal), {1, 2, 3});
    builder.Add(ResImageBuilder::Text(u"KIND"), ResImageBuilder::Text(u"ITEM"), {4, 5, 6, 7, 8});
    return builder;
}

std::vector<BYTE> SmallImage() {
    return SmallBuilder().Image();
}

TEST(Registration, AnImageJoinsTheModuleUntilWithdrawn) {
    std::vector<BYTE> image = SmallImage();
    ASSERT_TRUE(CeRegisterModuleResources(reinterpret_cast<const void*>(&SmallImage), image.data(),
                                          static_cast<DWORD>(image.size())));
    EXPECT_EQ(ResourceBytes(nullptr, MAKEINTRESOURCEW(kImageOrdinal), RT_RCDATA),
              (std::vector<BYTE>{1, 2, 3}));
    EXPECT_EQ(ResourceBytes(nullptr, u"item", u"kind"), (std::vector<BYTE>{4, 5, 6, 7, 8}));
    // The program's own resources are still there beside it.
    EXPECT_NE(FindResourceW(nullptr, MAKEINTRESOURCEW(IDD_CLASSIC), RT_DIALOG), nullptr);
    HRSRC found = FindResourceW(nullptr, u"item", u"kind");

    SetLastError(kUntouched);
    EXPECT_FALSE(CeRegisterModuleResources(reinterpret_cast<const void*>(&SmallImage), image.data(),
                                           static_cast<DWORD>(image.size())))
        << "registered twice";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));

    EXPECT_TRUE(CeUnregisterModuleResources(image.data()));
    EXPECT_EQ(FindResourceW(nullptr, u"item", u"kind"), nullptr);
    EXPECT_EQ(SizeofResource(nullptr, found), 0u);
    SetLastError(kUntouched);
    EXPECT_FALSE(CeUnregisterModuleResources(image.data()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(Registration, NeedsAModuleAndAnImage) {
    std::vector<BYTE> image = SmallImage();
    int onTheStack = 0;
    for (const void* address : {static_cast<const void*>(nullptr), static_cast<const void*>(&onTheStack)}) {
        SetLastError(kUntouched);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(CeRegisterModuleResources(address, image.data(), static_cast<DWORD>(image.size())));
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    SetLastError(kUntouched);
    EXPECT_FALSE(CeRegisterModuleResources(reinterpret_cast<const void*>(&SmallImage), nullptr, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

struct Corruption {
    const char* what;
    size_t offset;  // where the bytes go; from the end when fromEnd
    std::vector<BYTE> bytes;
    bool fromEnd = false;
};

class MalformedImage : public testing::TestWithParam<Corruption> {};

// Offsets into SmallImage: the leading empty entry (0..31), the first entry's header at 32 (DataSize,
// HeaderSize, type ordinal 0xFFFF 10, name ordinal), its data at 64.
TEST_P(MalformedImage, IsRefusedWithAMessageAndRegistersNothing) {
    std::vector<BYTE> image = SmallImage();
    const Corruption& corruption = GetParam();
    size_t at = corruption.fromEnd ? image.size() - corruption.offset : corruption.offset;
    if (at + corruption.bytes.size() > image.size()) {
        image.resize(at + corruption.bytes.size());
    }
    std::copy(corruption.bytes.begin(), corruption.bytes.end(), image.begin() + static_cast<long>(at));
    image.shrink_to_fit();  // exact size, so a read past the end is seen by the address sanitizer
    SetLastError(kUntouched);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(CeRegisterModuleResources(reinterpret_cast<const void*>(&SmallImage), image.data(),
                                           static_cast<DWORD>(image.size())));
    std::string message = testing::internal::GetCapturedStderr();
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_NE(message.find("offset"), std::string::npos) << message;
    EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(kImageOrdinal), RT_RCDATA), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, MalformedImage,
    testing::Values(Corruption{"no_leading_entry", 8, {0xFF, 0xFF, 1, 0}},
                    Corruption{"header_too_small", 36, {28, 0, 0, 0}},
                    Corruption{"header_not_aligned", 36, {34, 0, 0, 0}},
                    Corruption{"header_past_the_end", 36, {0, 0, 1, 0}},
                    Corruption{"data_past_the_end", 32, {0xF0, 0xFF, 0, 0}},
                    // The second entry (at 68) names "KIND" and "ITEM" and needs 44 header bytes.
                    Corruption{"header_shorter_than_its_names", 72, {32, 0, 0, 0}},
                    Corruption{"trailing_bytes", 0, {1, 2, 3}, true},
                    Corruption{"huge_sizes", 32, {0xFF, 0xFF, 0xFF, 0xFF, 0xFC, 0xFF, 0xFF, 0xFF}}),
    [](const testing::TestParamInfo<Corruption>& info) { return std::string(info.param.what); });

TEST(Registration, EveryPrefixOfAnImageIsReadOrRefusedWithoutStrayReads) {
    ResImageBuilder builder = SmallBuilder();
    std::vector<BYTE> image = builder.Image();
    std::vector<size_t> boundaries = builder.EntryEnds();
    for (size_t length = 0; length < image.size(); ++length) {
        std::vector<BYTE> prefix(image.begin(), image.begin() + static_cast<long>(length));
        bool atBoundary = std::find(boundaries.begin(), boundaries.end(), length) != boundaries.end();
        testing::internal::CaptureStderr();
        BOOL registered = CeRegisterModuleResources(reinterpret_cast<const void*>(&SmallImage), prefix.data(),
                                                    static_cast<DWORD>(prefix.size()));
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(registered != FALSE, atBoundary && length > 0) << "prefix of " << length << " bytes";
        if (registered) {
            CeUnregisterModuleResources(prefix.data());
        }
    }
}

// ---- the program entry -----------------------------------------------------------------------------------

struct CommandLineCase {
    const char* what;
    std::vector<std::string> arguments;
    const char* expected;  // the command line WinMain saw, as UTF-16 units in hex
};

class WinMainEntry : public testing::TestWithParam<CommandLineCase> {};

TEST_P(WinMainEntry, ReceivesTheArgumentsJoinedAsOneLine) {
    const tooltest::RunResult run = tooltest::RunProgram(WINMAIN_PROBE, GetParam().arguments, {});
    EXPECT_EQ(run.exitCode, 7) << "WinMain's answer is the exit code";
    EXPECT_EQ(run.out,
              std::string("instance=program previous=null show=1 line=") + GetParam().expected + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Lines, WinMainEntry,
    testing::Values(CommandLineCase{"none", {}, ""},
                    CommandLineCase{"one", {"start"}, "0073 0074 0061 0072 0074"},
                    CommandLineCase{"blanks_kept_inside", {"a b", "", "c"}, "0061 0020 0062 0020 0020 0063"},
                    CommandLineCase{"utf8", {"\xC3\xA9", "\xF0\x9D\x84\x9E"}, "00E9 0020 D834 DD1E"},
                    CommandLineCase{"not_utf8",
                                    {"\xFF"
                                     "a"},
                                    "FFFD 0061"}),
    [](const testing::TestParamInfo<CommandLineCase>& info) { return std::string(info.param.what); });

}  // namespace
