// kmxterm's parts without a port: how bytes show, the prefix keys, the command line and the status line.
#include <gtest/gtest.h>

#include "byte_view.h"
#include "line_watch.h"
#include "options.h"
#include "prefix_keys.h"
#include "status_line.h"

namespace {

// ---- bytes on the screen

struct ViewCase {
    ViewMode mode;
    std::vector<std::string> pieces;  // as they arrive, so state across pieces counts
    std::string shown;
};

class ByteViews : public ::testing::TestWithParam<ViewCase> {};

TEST_P(ByteViews, ShowWhatArrived) {
    ByteView view(GetParam().mode);
    std::string shown;
    for (const std::string& piece : GetParam().pieces) {
        shown += view.Render(piece);
    }
    EXPECT_EQ(shown, GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Kmxterm, ByteViews,
    ::testing::Values(ViewCase{ViewMode::Text, {"hello"}, "hello"},
                      // CR, LF and CR LF each end one line, also when CR and LF come in separate reads.
                      ViewCase{ViewMode::Text, {"a\rb\nc\r\nd"}, "a\r\nb\r\nc\r\nd"},
                      ViewCase{ViewMode::Text, {"a\r", "\nb"}, "a\r\nb"},
                      ViewCase{ViewMode::Text, {"\n\n"}, "\r\n\r\n"},
                      ViewCase{ViewMode::Text, {"\r\r"}, "\r\n\r\n"},
                      ViewCase{ViewMode::Text, {std::string("\x00\x01\x1b\x1f\x7f", 5)}, "^@^A^[^_^?"},
                      ViewCase{ViewMode::Text, {"\x80\xff\xc3\xa9"}, "<80><ff><c3><a9>"},
                      ViewCase{ViewMode::Text, {"\t\b"}, "\t\b"},
                      ViewCase{ViewMode::Hex, {"AB", std::string("\x00\xff", 2)}, "41 42 00 ff "},
                      ViewCase{ViewMode::Hex,
                               {std::string(16, 'a'), "b"},
                               std::string("61 ") + "61 61 61 61 61 61 61 61 61 "
                                                    "61 61 61 61 61 61\r\n62 "}));

// ---- keys

struct KeyCase {
    std::string keys;
    std::vector<std::pair<KeyAction, char>> events;
};

class PrefixKeyTable : public ::testing::TestWithParam<KeyCase> {};

TEST_P(PrefixKeyTable, MeanWhatTheyShould) {
    PrefixKeys prefix;
    std::vector<std::pair<KeyAction, char>> events;
    for (const char key : GetParam().keys) {
        KeyEvent event;
        if (prefix.Feed(key, &event)) {
            events.emplace_back(event.action, event.byte);
        }
    }
    EXPECT_EQ(events, GetParam().events);
}

INSTANTIATE_TEST_SUITE_P(
    Kmxterm, PrefixKeyTable,
    ::testing::Values(KeyCase{"ab", {{KeyAction::Send, 'a'}, {KeyAction::Send, 'b'}}},
                      // Capitals and the control forms of the letters mean the same.
                      KeyCase{"\x01"
                              "D\x01\x04",
                              {{KeyAction::ToggleDtr, 'D'}, {KeyAction::ToggleDtr, '\x04'}}},
                      KeyCase{"\x01\x01z", {{KeyAction::Send, '\x01'}, {KeyAction::Send, 'z'}}},
                      KeyCase{"\x01z\x01", {{KeyAction::Unknown, 'z'}}}));

// ---- command line

TEST(KmxtermOptions, SettingsAndDefaults) {
    Options options;
    std::string error;
    ASSERT_TRUE(ParseOptions({"COM5"}, &options, &error)) << error;
    EXPECT_EQ(options.port, "COM5:");
    EXPECT_EQ(DescribeSettings(options.session.settings), "115200 8N1 none");
    EXPECT_EQ(options.lingerMs, kDefaultLingerMs);

    ASSERT_TRUE(
        ParseOptions({"--baud", "9600", "--data=7", "--parity", "even", "--stop", "1.5", "--flow=rtscts",
                      "--hex", "--echo", "--enter", "crlf", "--linger", "0", "KMX3:"},
                     &options, &error))
        << error;
    EXPECT_EQ(options.port, "KMX3:");
    EXPECT_EQ(DescribeSettings(options.session.settings), "9600 7E1.5 rtscts");
    EXPECT_EQ(options.session.view, ViewMode::Hex);
    EXPECT_TRUE(options.session.echo);
    EXPECT_EQ(options.session.enter, "\r\n");
    EXPECT_EQ(options.lingerMs, 0u);

    ASSERT_TRUE(ParseOptions({"--help"}, &options, &error));
    EXPECT_TRUE(options.help);
}

TEST(KmxtermOptions, RefuseWhatMakesNoSense) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--baud", "0", "COM5:"},
        {"--baud", "fast", "COM5:"},
        {"--baud", "COM5:"},
        {"--data", "9", "COM5:"},
        {"--data", "4", "COM5:"},
        {"--parity", "EVEN", "COM5:"},
        {"--stop", "3", "COM5:"},
        {"--flow", "hardware", "COM5:"},
        {"--linger", "-1", "COM5:"},
        {"--enter", "nl", "COM5:"},
        {"--colour", "COM5:"},
        {"COM5:", "COM6:"},
        {"COM5:", "--flow"},
    };
    for (const auto& args : bad) {
        Options options;
        std::string error;
        EXPECT_FALSE(ParseOptions(args, &options, &error)) << (args.empty() ? "" : args[0]);
        EXPECT_FALSE(error.empty());
    }
}

TEST(KmxtermStatus, ShowsLinesEventsAndMessageInTheWidth) {
    StatusFacts facts{"COM5:", "115200 8N1 none", MS_DSR_ON | MS_RING_ON, true, false, "CTS DSR", ""};
    const std::string line = FormatStatus(facts, 120);
    EXPECT_EQ(line.size(), 120u);
    EXPECT_EQ(
        line.rfind("COM5: 115200 8N1 none | DSR+ DCD- CTS- RING+ | DTR+ RTS- | ev: CTS DSR | Ctrl+A h: help",
                   0),
        0u)
        << line;
    facts.message = "DTR off";
    EXPECT_NE(FormatStatus(facts, 200).find("| DTR off"), std::string::npos);
    EXPECT_EQ(FormatStatus(facts, 0), "");
    // A message that does not fit after the facts goes first; a longer one keeps its end.
    facts.message = "send file: /tmp/data.bin_";
    EXPECT_EQ(FormatStatus(facts, 40), "send file: /tmp/data.bin_ | COM5: 115200");
    EXPECT_EQ(FormatStatus(facts, 10), "<data.bin_");
    facts.message = "x\xC3\xA9t\xC3\xA9";  // no half character at the cut
    EXPECT_EQ(FormatStatus(facts, 5), "<t\xC3\xA9 ");
    facts.message.clear();
    EXPECT_EQ(FormatStatus(facts, 10), "COM5: 1152");
    EXPECT_EQ(EventNames(EV_RXCHAR | EV_RLSD | EV_RX80FULL), "RXCHAR RLSD RX80FULL");
}

}  // namespace
