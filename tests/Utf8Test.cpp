#include "Utf8.h"

#include "NamedRow.h"

#include <gtest/gtest.h>

namespace {

using ombrix::platform::toValidUtf8;

#define FFFD "\xEF\xBF\xBD"

struct Row {
    const char* name;
    std::string bytes;
    std::string text;
    OMBRIX_NAMED_ROW(Row)
};

const Row kRows[] = {
    {"Empty", "", ""},
    {"Ascii", "/home/me/app", "/home/me/app"},
    {"TwoThreeAndFourByteCharacters", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9D\x84\x9E",
     "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9D\x84\x9E"},
    {"HighestCodePoint", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
    {"NulIsKept", std::string("a\0b", 3), std::string("a\0b", 3)},
    {"Latin1Byte", "caf\xE9", "caf" FFFD},
    {"StrayContinuation", "a\x80z", "a" FFFD "z"},
    {"OverlongTwoByte", "\xC0\xAF", FFFD FFFD},
    {"OverlongThreeByte", "\xE0\x80\xAF", FFFD FFFD FFFD},
    {"OverlongFourByte", "\xF0\x8F\xBF\xBF", FFFD FFFD FFFD FFFD},
    {"Surrogate", "\xED\xA0\x80", FFFD FFFD FFFD},
    {"AboveHighestCodePoint", "\xF4\x90\x80\x80", FFFD FFFD FFFD FFFD},
    {"ByteNeverUsed", "\xFF\xFE", FFFD FFFD},
    {"TruncatedTailIsOneReplacement", "ab\xE2\x82", "ab" FFFD},
    {"TruncatedFourByteTail", "\xF0\x9D\x84", FFFD},
    {"CutSequenceBeforeAscii", "\xE2\x82/x", FFFD "/x"},
    {"CutSequenceBeforeValidCharacter", "\xC3\xC3\xA9", FFFD "\xC3\xA9"},
};

class Utf8Test : public ::testing::TestWithParam<Row> {};

TEST_P(Utf8Test, Repairs) {
    EXPECT_EQ(toValidUtf8(GetParam().bytes), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Rows, Utf8Test, ::testing::ValuesIn(kRows), ombrix::testing::RowName());

} // namespace
