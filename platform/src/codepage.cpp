// The program's 8-bit text is in the Western Windows code page: ASCII, then Latin-1 except for
// the printable characters in 0x80..0x9f.
#include "platform.h"

namespace {

const unsigned short high[32] = {
    0x20ac, 0x0081, 0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021, 0x02c6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008d, 0x017d, 0x008f, 0x0090, 0x2018, 0x2019, 0x201c, 0x201d, 0x2022,
    0x2013, 0x2014, 0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0x009d, 0x017e, 0x0178,
};

void AppendUtf8(std::string &out, unsigned codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xc0 | codePoint >> 6);
        out += static_cast<char>(0x80 | (codePoint & 0x3f));
    } else {
        out += static_cast<char>(0xe0 | codePoint >> 12);
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (codePoint & 0x3f));
    }
}

} // namespace

unsigned CodePointOfAnsi(unsigned char c) {
    return c >= 0x80 && c < 0xa0 ? high[c - 0x80] : c;
}

unsigned char AnsiOfCodePoint(unsigned codePoint) {
    for (unsigned c = 0; c < 256; ++c) {
        if (CodePointOfAnsi(static_cast<unsigned char>(c)) == codePoint) {
            return static_cast<unsigned char>(c);
        }
    }
    return '?';
}

std::string AnsiToUtf8(const char *text) {
    std::string out;
    for (const char *p = text ? text : ""; *p; ++p) {
        AppendUtf8(out, CodePointOfAnsi(static_cast<unsigned char>(*p)));
    }
    return out;
}
