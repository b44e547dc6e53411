#include <gtest/gtest.h>

#include <string>

#include "cli/platform/text.h"

namespace {

struct Escape {
    const char* what;
    std::string text;
    std::string line;
};

// Control characters, from names the user typed, never break an error line; everything else,
// UTF-8 above all, passes unchanged.
const Escape kEscapes[] = {
    {"newline", "a\nb.png", "a\\nb.png"},
    {"tab and carriage return", "\t\r", "\\t\\r"},
    {"other control characters", std::string("\x01\x1f\x7f", 3), "\\x01\\x1f\\x7f"},
    {"C1 controls, which terminals act on too",
     "a\xc2\x9b"
     "2J\xc2\x85",
     "a\\u009b2J\\u0085"},
    {"UTF-8 and punctuation", "caf\xc3\xa9 \\ ?.png", "caf\xc3\xa9 \\ ?.png"},
    {"four-byte UTF-8", "\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf", "\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf"},
    // A POSIX name is any bytes: what is not UTF-8 is shown byte by byte, the rest as it is.
    {"a Latin-1 byte", "caf\xe9.png", "caf\\xe9.png"},
    {"a stray continuation byte and a lead byte cut short", "\x80 \xe2\x82", "\\x80 \\xe2\\x82"},
    {"overlong forms", "\xc0\xaf\xe0\x80\xaf", "\\xc0\\xaf\\xe0\\x80\\xaf"},
    {"a surrogate and a value past U+10FFFF", "\xed\xa0\x80\xf4\x90\x80\x80",
     "\\xed\\xa0\\x80\\xf4\\x90\\x80\\x80"},
    {"a C1 lead byte alone", "a\xc2", "a\\xc2"},
};

class OneLineEscapes : public ::testing::TestWithParam<Escape> {};

TEST_P(OneLineEscapes, ControlCharactersOnly) {
    EXPECT_EQ(OneLine(GetParam().text), GetParam().line) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(Texts, OneLineEscapes, ::testing::ValuesIn(kEscapes));

}  // namespace
