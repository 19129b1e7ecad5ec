// The program's 8-bit text is in the Western Windows code page: ASCII, then Latin-1 except for
// the printable characters in 0x80..0x9f. Text from the window system arrives as UTF-8.
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

// The length of the well-formed UTF-8 sequence at `p` and its code point; 0 when the bytes there
// do not start one (then `*malformed` is how many bytes the malformed piece takes).
int DecodeUtf8(const unsigned char *p, unsigned *codePoint, int *malformed) {
    const unsigned lead = p[0];
    int length = 0;
    unsigned low = 0x80, high = 0xbf; // the range the second byte may take
    if (lead < 0x80) {
        *codePoint = lead;
        return 1;
    }
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        low = lead == 0xe0 ? 0xa0 : 0x80;  // no over-long forms
        high = lead == 0xed ? 0x9f : 0xbf; // no surrogates
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        low = lead == 0xf0 ? 0x90 : 0x80;
        high = lead == 0xf4 ? 0x8f : 0xbf; // nothing past U+10FFFF
    } else {
        *malformed = 1; // a stray continuation byte, or a byte UTF-8 never has
        return 0;
    }
    unsigned value = lead & (0x7f >> length);
    for (int i = 1; i < length; ++i) {
        const unsigned byte = p[i];
        const bool fits = i == 1 ? byte >= low && byte <= high : (byte & 0xc0) == 0x80;
        if (!fits) {
            *malformed = i; // cut off: the lead and the continuation bytes so far
            return 0;
        }
        value = value << 6 | (byte & 0x3f);
    }
    *codePoint = value;
    return length;
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

std::string Utf8ToAnsi(const char *text) {
    std::string out;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text ? text : "");
    while (*p) {
        unsigned codePoint = 0;
        int malformed = 0;
        const int length = DecodeUtf8(p, &codePoint, &malformed);
        out += length ? static_cast<char>(AnsiOfCodePoint(codePoint)) : '?';
        p += length ? length : malformed;
    }
    return out;
}
