// Text between the program's 8-bit code page and the UTF-8 the window system speaks: every byte
// of the code page goes there and back, and malformed UTF-8 becomes '?', never a key the program
// acts on.
#include <gtest/gtest.h>

#include "platform.h"

#include <string>

namespace {

// Code points in 0x80..0x9f of the Western Windows code page; 0 marks the five bytes it leaves
// undefined, which Windows maps to the C1 control of the same number.
const unsigned high[32] = {0x20ac, 0,      0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021,
                           0x02c6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017d, 0,
                           0,      0x2018, 0x2019, 0x201c, 0x201d, 0x2022, 0x2013, 0x2014,
                           0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0,      0x017e, 0x0178};

unsigned Expected(unsigned byte) {
    if (byte >= 0x80 && byte < 0xa0) {
        return high[byte - 0x80] ? high[byte - 0x80] : byte;
    }
    return byte; // ASCII, and Latin-1 above 0x9f
}

// The code point of a string holding one well-formed UTF-8 character.
unsigned DecodeOne(const std::string &utf8) {
    const auto lead = static_cast<unsigned char>(utf8[0]);
    const size_t length = lead < 0x80 ? 1 : lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : 4;
    EXPECT_EQ(utf8.size(), length);
    unsigned value = length == 1 ? lead : lead & (0x7f >> length);
    for (size_t i = 1; i < utf8.size(); ++i) {
        value = value << 6 | (static_cast<unsigned char>(utf8[i]) & 0x3f);
    }
    return value;
}

TEST(CodePage, EveryByteGoesToItsCodePointAndBack) {
    for (unsigned byte = 1; byte < 256; ++byte) {
        SCOPED_TRACE("byte 0x" + std::to_string(byte));
        const char text[] = {static_cast<char>(byte), 0};
        const std::string utf8 = AnsiToUtf8(text);
        EXPECT_EQ(DecodeOne(utf8), Expected(byte));
        EXPECT_EQ(Utf8ToAnsi(utf8.c_str()), std::string(text));
    }
}

TEST(CodePage, CharactersOutsideTheCodePageBecomeQuestionMarks) {
    // Greek alpha, the replacement character, a CJK ideograph, an emoji, U+10FFFF.
    EXPECT_EQ(Utf8ToAnsi("\xce\xb1|\xef\xbf\xbd|\xe4\xb8\xad|\xf0\x9f\x98\x80|\xf4\x8f\xbf\xbf"),
              "?|?|?|?|?");
    EXPECT_EQ(AnsiOfCodePoint(0x3b1), '?');
    EXPECT_EQ(Utf8ToAnsi(nullptr), "");
}

TEST(CodePage, MalformedUtf8BecomesQuestionMarksNeverAKey) {
    const struct {
        const char *utf8;
        const char *ansi;
        const char *what;
    } cases[] = {
        {"\xab", "?", "a stray continuation byte (its low bits are '+')"},
        {"\xad", "?", "a stray continuation byte (its low bits are '-')"},
        {"\x80\x80s", "??s", "each stray byte on its own"},
        {"\xc3", "?", "a two-byte form cut off at the end"},
        {"\xc3+", "?+", "a two-byte form cut off by a key"},
        {"\xe2\x82", "?", "a three-byte form cut off after two"},
        {"\xe2\x82-", "?-", "a three-byte form cut off by a key"},
        {"\xf0\x9f\x98", "?", "a four-byte form cut off after three"},
        {"\xc0\xab", "??", "an over-long '+': not a lead byte, then a stray one"},
        {"\xc1\xad", "??", "an over-long '-'"},
        {"\xe0\x80\xab", "???", "an over-long three-byte '+'"},
        {"\xf0\x80\x80\xab", "????", "an over-long four-byte '+'"},
        {"\xed\xa0\x80", "???", "a surrogate"},
        {"\xf4\x90\x80\x80", "????", "past U+10FFFF"},
        {"\xf5\x80\x80\x80", "????", "a lead byte UTF-8 never has"},
        {"\xfe\xff", "??", "bytes UTF-8 never has"},
        {"d\xc3\xa9\xe2\x82\xac", "d\xe9\x80", "well-formed text around nothing malformed"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Utf8ToAnsi(c.utf8), c.ansi) << c.what;
    }
}

} // namespace
