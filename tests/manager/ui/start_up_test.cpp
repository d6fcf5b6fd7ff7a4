// Start-up: the "start" argument, the refusal without registry access, the address of
// the user guide and the help button that opens it.
#include "manager/ui/manager_test_support.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include <sys/stat.h>

#include "driver/driver_test_support.h"
#include "help_address.h"
#include "texts.h"
#include "tools/program_runner.h"
#include "ui_state.h"

namespace {

using namespace uitest;

constexpr DWORD kSpacingMs = 50;
constexpr LONG kSlots = 20;
constexpr DWORD kOpenerWaitMs = 20000;

// Keys of single virtual ports left in the registry with their devices stopped, as after a device start.
void StoreStoppedPorts(const std::vector<LONG>& slots) {
    PortList earlier;
    for (LONG slot : slots) {
        ASSERT_GE(earlier.CreateVirtualPort(static_cast<DWORD>(slot), -1, slot), 0);
        ASSERT_TRUE(DeactivateDevice(earlier.FindByArrayIndex(slot)->deviceHandle));
    }
}

// The number NN of Drivers\Active\NN that runs the key, or -1.
int ActiveNumberOf(const std::u16string& key) {
    const std::u16string active = storetest::ActiveKeyOf(key);
    if (active.empty()) {
        return -1;
    }
    return std::stoi(std::string(active.begin() + active.rfind(u'\\') + 1, active.end()));
}

size_t SpacingWaits() {
    const auto waits = storetest::Waits();
    return static_cast<size_t>(std::count(waits.begin(), waits.end(), kSpacingMs));
}

class StartUp : public ManagerTest {};

// With the registry writable, and write-protected, which "start" ignores.
class StartArgument : public ManagerTest, public ::testing::WithParamInterface<bool> {};

TEST_P(StartArgument, ActivatesTheStoredKeysInSlotOrderAndShowsNothing) {
    const bool writeProtected = GetParam();
    StoreStoppedPorts({5, 1, 3});
    if (writeProtected) {
        ASSERT_TRUE(CePlatformInjectFault("RegCreateKeyExW", 0, ERROR_ACCESS_DENIED));
    }
    BuildProgramPorts();
    ASSERT_EQ(Ports().RegistryWritable(), writeProtected ? 0u : 1u);
    ManagerRun run(u"start");
    run.Join();
    EXPECT_EQ(run.exitCode(), 0);
    EXPECT_EQ(SpacingWaits(), static_cast<size_t>(kSlots)) << "every slot is tried, 50 ms apart";
    const int first = ActiveNumberOf(tulktest::PortKeyPath(1));
    const int second = ActiveNumberOf(tulktest::PortKeyPath(3));
    const int third = ActiveNumberOf(tulktest::PortKeyPath(5));
    ASSERT_GE(first, 0);
    EXPECT_LT(first, second) << "slot 1 is activated before slot 3";
    EXPECT_LT(second, third) << "slot 3 is activated before slot 5";
    EXPECT_EQ(ActiveNumberOf(tulktest::PortKeyPath(0)), -1);
    EXPECT_EQ(CeUiGetActiveWindow(), nullptr) << "no window and no message box";
}

INSTANTIATE_TEST_SUITE_P(Registry, StartArgument, ::testing::Bool());

TEST_F(StartUp, WithoutRegistryAccessOnlyTheRefusalIsShown) {
    ASSERT_TRUE(CePlatformInjectFault("RegCreateKeyExW", 0, ERROR_ACCESS_DENIED));
    BuildProgramPorts();
    ASSERT_EQ(Ports().RegistryWritable(), 0u);
    ManagerRun run;
    WaitIdle();
    const Box box = ShownBox();
    EXPECT_EQ(box.text, text::kAccessDenied);
    EXPECT_EQ(box.caption, kTitle);
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
    // The program ends with the box, so there is no idle UI to wait for.
    ASSERT_TRUE(CeUiInjectKey(VK_RETURN, 0));
    run.Join();
    EXPECT_EQ(run.exitCode(), 0);
    EXPECT_EQ(FindWindowW(u"Dialog", kTitle), nullptr) << "the main dialog never opens";
    EXPECT_EQ(g_ui.helpUrl[0], 0) << "the help address stays empty";
}

struct ArgumentCase {
    const char* name;
    const char16_t* commandLine;
};

// Only "start" exactly is the start argument; anything else unknown is bad usage, not the manager. (The
// system tests run "Start" and "start start" through the program itself.)
class NotTheStartArgument : public ManagerTest, public ::testing::WithParamInterface<ArgumentCase> {};

TEST_P(NotTheStartArgument, IsBadUsage) {
    StoreStoppedPorts({0});
    BuildProgramPorts();
    ManagerRun run(GetParam().commandLine);
    run.Join();
    EXPECT_EQ(run.exitCode(), 2);
    EXPECT_EQ(FindWindowW(u"Dialog", kTitle), nullptr);
    EXPECT_EQ(SpacingWaits(), 0u);
    EXPECT_EQ(ActiveNumberOf(tulktest::PortKeyPath(0)), -1);
}

INSTANTIATE_TEST_SUITE_P(Arguments, NotTheStartArgument,
                         ::testing::Values(ArgumentCase{"Upper", u"START"},
                                           ArgumentCase{"LeadingBlank", u" start"},
                                           ArgumentCase{"TrailingBlank", u"start "},
                                           ArgumentCase{"Short", u"star"}),
                         CaseName());

struct AddressCase {
    const char* name;
    std::u16string modulePath;
    int urlChars;
    std::u16string expected;
};

const std::u16string kLongDirectory = u"/" + std::u16string(300, u'd') + u"/";

class HelpAddress : public ::testing::TestWithParam<AddressCase> {};

TEST_P(HelpAddress, IsTheGuideInTheProgramsDirectory) {
    const AddressCase& c = GetParam();
    WCHAR url[kHelpUrlChars + 8];
    std::fill(std::begin(url), std::end(url), u'#');
    BuildHelpUrl(c.modulePath.c_str(), url, c.urlChars);
    EXPECT_EQ(std::u16string(url), c.expected);
    EXPECT_EQ(url[c.urlChars], u'#') << "nothing is written past the buffer";
}

INSTANTIATE_TEST_SUITE_P(
    Paths, HelpAddress,
    ::testing::Values(AddressCase{"DeviceProgram", u"\\Windows\\tulkcfg.exe", kHelpUrlChars,
                                  u"file://\\Windows\\user_guide.htm"},
                      AddressCase{"LongerName", u"\\Program Files\\TULK\\tulk_manager.exe", kHelpUrlChars,
                                  u"file://\\Program Files\\TULK\\user_guide.htm"},
                      AddressCase{"LinuxPath", u"/opt/tulk/bin/tulkcfg", kHelpUrlChars,
                                  u"file:///opt/tulk/bin/user_guide.htm"},
                      AddressCase{"NoDirectory", u"tulkcfg.exe", kHelpUrlChars, u"file://user_guide.htm"},
                      AddressCase{"CutToTheBuffer", u"/a/b/tulkcfg", 12, u"file:///a/b"},
                      AddressCase{"RoomForTheNulOnly", u"/a/tulkcfg", 1, u""},
                      AddressCase{"LongDirectoryCut", kLongDirectory + u"tulkcfg", kHelpUrlChars,
                                  (u"file://" + kLongDirectory).substr(0, kHelpUrlChars - 1)}),
    CaseName());

std::u16string ProgramDirectory() {
    WCHAR path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::u16string text = path;
    return text.substr(0, text.rfind(u'/') + 1);
}

class HelpButton : public ManagerTest {};

TEST_F(HelpButton, OpensTheGuideBesideTheProgramAndNeverComplains) {
    // A stand-in for the desktop's opener that writes down what it was asked to open.
    const tooltest::ScratchDirectory scratch;
    const std::string opener = scratch.File("opener");
    const std::string record = scratch.File("opened");
    tooltest::WriteWholeFile(opener, "#!/bin/sh\nprintf '%s' \"$1\" > " + record + ".part && mv " + record +
                                         ".part " + record + "\n");
    ASSERT_EQ(chmod(opener.c_str(), 0755), 0);
    ASSERT_EQ(setenv("CE_SHELL_OPENER", opener.c_str(), 1), 0);
    Start();
    PressButton(main(), IDC_USER_GUIDE);
    const std::u16string directory = ProgramDirectory();
    ASSERT_TRUE(tulktest::WaitUntil([&] { return std::filesystem::exists(record); }, kOpenerWaitMs));
    EXPECT_EQ(tooltest::ReadWholeFile(record),
              "file://" + std::string(directory.begin(), directory.end()) + "user_guide.htm");
    EXPECT_EQ(CeUiGetActiveWindow(), main()) << "no message";
    // An opener that fails is not reported either.
    ASSERT_EQ(setenv("CE_SHELL_OPENER", scratch.File("missing").c_str(), 1), 0);
    PressButton(main(), IDC_USER_GUIDE);
    EXPECT_EQ(CeUiGetActiveWindow(), main());
    Close();
    EXPECT_EQ(std::u16string(g_ui.helpUrl), u"file://" + directory + u"user_guide.htm");
}

}  // namespace
