// What the headless console makes of the bytes a terminal sends when keys are typed.
#include <gtest/gtest.h>

#include <cstring>
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

}  // namespace
