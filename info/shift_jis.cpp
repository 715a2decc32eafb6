#include "shift_jis.h"

#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#elif defined(__EMSCRIPTEN__)
#include <emscripten/emscripten.h>
#else
#include <iconv.h>
#endif

namespace info {

namespace {

bool IsLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool IsTrailByte(unsigned char b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }
bool IsSingleCharacter(unsigned char b) {
    return (b >= 0x20 && b <= 0x7E) || (b >= 0xA1 && b <= 0xDF);
}

#if defined(__EMSCRIPTEN__)
// In the web page, the browser's own decoder: its shift_jis is code page
// 932 for every two-byte character (the Emscripten C library's iconv is
// not). The character's UTF-8 goes to `out`; returns its length, 0 when the
// bytes do not decode.
EM_JS(int, DecodeInBrowser, (const char* bytes, int length, char* out, int room), {
    try {
        const text = new TextDecoder("shift_jis", {fatal: true})
                         .decode(HEAPU8.slice(bytes, bytes + length));
        const utf8 = new TextEncoder().encode(text);
        if (utf8.length === 0 || utf8.length > room) return 0;
        HEAPU8.set(utf8, out);
        return utf8.length;
    } catch (error) {
        return 0;
    }
});
#elif !defined(_WIN32)
// glibc knows code page 932 as CP932; other C libraries may know it only as
// SHIFT_JIS.
iconv_t OpenConverter() {
    iconv_t convert = iconv_open("UTF-8", "CP932");
    if (convert == reinterpret_cast<iconv_t>(-1)) convert = iconv_open("UTF-8", "SHIFT_JIS");
    return convert;
}

// Opened on first use, once: the converter's modules are files, which may
// be missing, or beyond the descriptors the process may open.
iconv_t Converter() {
    static const iconv_t convert = OpenConverter();
    return convert;
}
#endif

// Decodes one character of `length` bytes to UTF-8 in `out`; false when the
// converter does not know it.
bool DecodeCharacter(const char* bytes, std::int32_t length, char (&out)[8]) {
    std::memset(out, 0, sizeof out);
    // ASCII is the same in code page 932 and needs no converter.
    const auto first = static_cast<unsigned char>(bytes[0]);
    if (length == 1 && first >= 0x20 && first <= 0x7E) {
        out[0] = bytes[0];
        return true;
    }
#if defined(__EMSCRIPTEN__)
    return DecodeInBrowser(bytes, length, out, static_cast<int>(sizeof out - 1)) > 0;
#elif defined(_WIN32)
    wchar_t wide[4];
    const int units = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes, length, wide, 4);
    if (units <= 0) return false;
    return WideCharToMultiByte(CP_UTF8, 0, wide, units, out, sizeof out - 1, nullptr, nullptr) > 0;
#else
    const iconv_t convert = Converter();
    if (convert == reinterpret_cast<iconv_t>(-1)) return false;
    char in[2] = {bytes[0], length > 1 ? bytes[1] : '\0'};
    char* inAt = in;
    std::size_t inLeft = static_cast<std::size_t>(length);
    char* outAt = out;
    std::size_t outLeft = sizeof out - 1;
    iconv(convert, nullptr, nullptr, nullptr, nullptr);
    return iconv(convert, &inAt, &inLeft, &outAt, &outLeft) != static_cast<std::size_t>(-1) &&
           inLeft == 0 && outAt != out;
#endif
}

}  // namespace

bool ConverterAvailable() {
#if defined(_WIN32) || defined(__EMSCRIPTEN__)
    return true;
#else
    return Converter() != reinterpret_cast<iconv_t>(-1);
#endif
}

std::int32_t SplitShiftJis(const char* name, NameUnit (&out)[kMaxNameUnits]) {
    std::int32_t count = 0;
    std::int32_t at = 0;
    while (name[at] != '\0' && at < kMaxNameUnits && count < kMaxNameUnits) {
        const auto lead = static_cast<unsigned char>(name[at]);
        NameUnit& unit = out[count++];
        unit.bytes = name + at;
        unit.length = 1;
        unit.columns = 1;
        const auto next = static_cast<unsigned char>(name[at + 1]);
        if (IsLeadByte(lead) && at + 1 < kMaxNameUnits && IsTrailByte(next)) {
            unit.length = 2;
            unit.columns = 2;
            unit.decoded = DecodeCharacter(unit.bytes, 2, unit.utf8);
            // A pair the converter does not know: its first byte alone is
            // undecodable, and the second is looked at on its own.
            if (!unit.decoded) {
                unit.length = 1;
                unit.columns = 1;
            }
        } else {
            unit.decoded = IsSingleCharacter(lead) && DecodeCharacter(unit.bytes, 1, unit.utf8);
        }
        at += unit.length;
    }
    return count;
}

bool DecodesWhole(const char* name) {
    NameUnit units[kMaxNameUnits];
    const std::int32_t count = SplitShiftJis(name, units);
    for (std::int32_t i = 0; i < count; i++) {
        if (!units[i].decoded) return false;
    }
    return count > 0;
}

}  // namespace info
