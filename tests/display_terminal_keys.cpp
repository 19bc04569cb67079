// What the headless console makes of the bytes a terminal sends when keys are typed.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/display/backends/terminal_input.h"
#include "platform/display/test_counters.h"

namespace {

using display::KeyValue;

std::vector<KeyValue> decode(const char* typed, int max = 16) {
    std::vector<KeyValue> keys(max);
    const int n = display::decode_terminal_keys(reinterpret_cast<const unsigned char*>(typed),
                                                int(std::strlen(typed)), keys.data(), max);
    keys.resize(n);
    return keys;
}

// code, alt, shift, control as one string, for messages that show what went wrong
std::string describe(const KeyValue& k) {
    return std::to_string(k.code) + (k.modifier1 ? " alt" : "") + (k.modifier2 ? " shift" : "") +
           (k.modifier3 ? " control" : "");
}

void expect_keys(const char* typed, const std::vector<std::string>& want) {
    const auto keys = decode(typed);
    std::vector<std::string> got;
    for (const auto& k : keys) got.push_back(describe(k));
    EXPECT_EQ(got, want) << "typed bytes: " << ::testing::PrintToString(std::string(typed));
}

TEST(DisplayTerminalKeys, LettersDigitsAndCapitals) {
    expect_keys("aZ7", {"65", "90 shift", "55"});
    expect_keys(" \r\n\t", {"32", "13", "13", "9"});
    expect_keys("\x7f\x08", {"8", "8"});
}

TEST(DisplayTerminalKeys, ControlCharactersAreLettersWithControl) {
    expect_keys("\x01\x1a", {"65 control", "90 control"});
}

TEST(DisplayTerminalKeys, PunctuationGivesTheKeyItIsOn) {
    expect_keys(";:-_/?", {"186", "186 shift", "189", "189 shift", "191", "191 shift"});
    expect_keys("!)", {"49 shift", "48 shift"});
}

TEST(DisplayTerminalKeys, EscapeSequences) {
    expect_keys("\x1b[A\x1b[B\x1b[C\x1b[D", {"38", "40", "39", "37"});
    expect_keys("\x1b[5~\x1b[6~\x1b[3~\x1b[2~", {"33", "34", "46", "45"});
    expect_keys("\x1bOP\x1b[15~\x1b[24~", {"112", "116", "123"});
    expect_keys("\x1b[1;5A\x1b[1;2D", {"38 control", "37 shift"});
    expect_keys("\x1b", {"27"});
    expect_keys("\x1bx", {"88 alt"});
    expect_keys("\x1b\x1b", {"27", "27"});
    expect_keys("\x1b[Z", {"0"});
}

TEST(DisplayTerminalKeys, AnUnfinishedSequenceIsEscapeThenWhatFollowed) {
    expect_keys("\x1b[12", {"27", "219", "49", "50"});
}

TEST(DisplayTerminalKeys, TextBeyondAsciiIsOneUnknownKeyACharacter) {
    expect_keys(
        "\xc3\xa5"
        "a\xe2\x82\xac",
        {"0", "65", "0"});
}

TEST(DisplayTerminalKeys, NoMoreKeysThanRoomFor) {
    EXPECT_EQ(decode("abcdef", 4).size(), 4u);
    EXPECT_EQ(decode("", 4).size(), 0u);
}

// Each event of decode_terminal_input as a string: "key CODE", "text CHARACTER", or "mouse CODE
// COLUMN,ROW press|release"
std::vector<std::string> events_of(const std::string& typed, bool more_to_come, int* used) {
    display::TerminalEvent events[64];
    const int n =
        display::decode_terminal_input(reinterpret_cast<const unsigned char*>(typed.data()),
                                       int(typed.size()), more_to_come, events, 64, used);
    std::vector<std::string> got;
    for (int i = 0; i < n; ++i) {
        const display::TerminalEvent& e = events[i];
        if (e.kind == display::TerminalEvent::key) {
            got.push_back("key " + describe(e.key_value));
        } else if (e.kind == display::TerminalEvent::text) {
            got.push_back("text " + std::string(e.character, std::size_t(e.length)));
        } else {
            got.push_back("mouse " + std::to_string(e.report.code) + " " +
                          std::to_string(e.report.column) + "," + std::to_string(e.report.row) +
                          (e.report.release ? " release" : " press"));
        }
    }
    return got;
}

std::vector<std::string> events_of(const std::string& typed) {
    int used = 0;
    auto got = events_of(typed, false, &used);
    if (used != int(typed.size())) got.push_back("used " + std::to_string(used));
    return got;
}

using Events = std::vector<std::string>;

// Mouse reports are neither keys nor text; printable characters are both a key and text, in
// the order typed; keys that make no character give no text
TEST(DisplayTerminalKeys, MouseReportsAndTextComeInOrderWithTheKeys) {
    EXPECT_EQ(events_of("a\x1b[<0;5;10M\x1b[<2;5;10m\x1b[<35;120;1M\xc3\xa9"),
              (Events{"key 65", "text a", "mouse 0 4,9 press", "mouse 2 4,9 release",
                      "mouse 35 119,0 press", "key 0", "text \xc3\xa9"}));
    EXPECT_EQ(events_of("\x1b[<64;1;1M\x1b[<65;2;3M!"),
              (Events{"mouse 64 0,0 press", "mouse 65 1,2 press", "key 49 shift", "text !"}));
    EXPECT_EQ(events_of("\x1bx\r\t\x7f\x01\x1b[A"),
              (Events{"key 88 alt", "key 13", "key 9", "key 8", "key 65 control", "key 38"}));
    EXPECT_EQ(events_of("\xff\xc3("), (Events{"key 0", "key 0", "key 57 shift", "text ("}))
        << "bytes that are no UTF-8 give no text";
}

// A malformed report is passed over whole when it ends in a final byte, and up to the byte
// that cut it when that cannot be in a sequence (decoded anew); one cut by the end of what was
// read is left unused, for the next read to finish
TEST(DisplayTerminalKeys, AMalformedOrCutMouseReportIsNoKey) {
    EXPECT_EQ(events_of("\x1b[<0;5xa"), (Events{"key 65", "text a"})) << "x ends it";
    EXPECT_EQ(events_of("\x1b[<0;0;1M\x1b[<0;1;1;1M\x1b[<;1;1M\x1b[<1:2;3;4M\x1b[<0;1;2Q"),
              Events{});
    EXPECT_EQ(events_of("\x1b[<0;5\x1b[Ab"), (Events{"key 38", "key 66", "text b"}));
    EXPECT_EQ(events_of("\x1b[<0;5\r"), (Events{"key 13"}));
    EXPECT_EQ(events_of("a\x1b[<0;12;3"), (Events{"key 65", "text a", "used 1"}));
    EXPECT_EQ(events_of("\x1b[<"), (Events{"used 0"}));
    EXPECT_EQ(events_of("\x1b[<0;12;3"
                        "4M"),
              (Events{"mouse 0 11,33 press"}));
    // The keys alone: a cut report gives none, and stops nothing before it
    EXPECT_EQ(decode("q\x1b[<0;1").size(), 1u);
}

// A read that filled its buffer may have stopped inside a sequence or a character: those bytes
// wait for the next read, where otherwise they would be Escape and keys
TEST(DisplayTerminalKeys, AFullReadLeavesASequenceOrCharacterItEndsInsideForTheNext) {
    int used = 0;
    EXPECT_EQ(events_of("ab\x1b[1", true, &used), (Events{"key 65", "text a", "key 66", "text b"}));
    EXPECT_EQ(used, 2);
    EXPECT_EQ(events_of("a\xe2\x82", true, &used), (Events{"key 65", "text a"}));
    EXPECT_EQ(used, 1);
    EXPECT_EQ(events_of("\x1b", true, &used), Events{});
    EXPECT_EQ(used, 0);
    EXPECT_EQ(events_of("\x1b", false, &used), (Events{"key 27"}));
}

// What the back ends put in the queues of typed text and the mouse: whole, valid characters
// in order, through the ring's wrap, and dropped whole when there is no room; a release only
// after its press, one press a button, and the state kept when events find no room
TEST(DisplayInputQueues, TextKeepsWholeCharactersAndTheMouseItsPairs) {
    display::TextQueue text;
    text.push("a\xc3\xa9\xff\xe2\x82", 6);  // a, e acute, a stray byte, a character cut short
    char out[8];
    EXPECT_EQ(text.next_length(), 1);
    EXPECT_EQ(text.pop(out, 2), 1);
    EXPECT_STREQ(out, "a");
    EXPECT_EQ(text.pop(out, 2), 0) << "two bytes do not fit in one";
    EXPECT_EQ(text.pop(out, 8), 2);
    EXPECT_STREQ(out, "\xc3\xa9");
    EXPECT_EQ(text.pop(out, 8), 0);
    std::string many;
    for (int i = 0; i < display::TextQueue::capacity / 3 + 1; ++i) many += "\xe2\x82\xac";
    text.push("b", 1);  // the ring's start moves on, so that what follows wraps
    EXPECT_EQ(text.pop(out, 8), 1);
    text.push(many.data(), int(many.size()));
    std::string back;
    for (int n; (n = text.pop(out, 8)) > 0;) back.append(out, std::size_t(n));
    EXPECT_EQ(back, many.substr(0, std::size_t(display::TextQueue::capacity / 3 * 3)));

    display::MouseQueue mouse;
    trelk_mouse_event event;
    mouse.move(5, 6, true);
    mouse.release(TRELK_MOUSE_LEFT);
    mouse.press(TRELK_MOUSE_LEFT);
    mouse.press(TRELK_MOUSE_LEFT);
    mouse.move(7, 8, false);
    mouse.release_all();
    ASSERT_TRUE(mouse.pop(&event));
    EXPECT_EQ(event.kind * 100 + event.x * 10 + event.y, TRELK_MOUSE_PRESS * 100 + 56);
    ASSERT_TRUE(mouse.pop(&event));
    EXPECT_EQ(event.kind * 100 + event.x * 10 + event.y, TRELK_MOUSE_RELEASE * 100 + 78);
    EXPECT_FALSE(event.inside);
    EXPECT_FALSE(mouse.pop(&event));
    for (int i = 0; i < display::MouseQueue::capacity + 5; ++i) mouse.wheel(0, 1);
    mouse.press(TRELK_MOUSE_RIGHT);
    EXPECT_EQ(mouse.buttons(), TRELK_MOUSE_RIGHT) << "held, though its press found no room";
    int count = 0;
    while (mouse.pop(&event)) count += event.kind == TRELK_MOUSE_WHEEL;
    EXPECT_EQ(count, display::MouseQueue::capacity);
}

}  // namespace
