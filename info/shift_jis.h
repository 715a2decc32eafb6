// Names on these disks are Shift_JIS (code page 932): ASCII, half-width
// kana in 0xA1-0xDF, and two-byte characters whose first byte is 0x81-0x9F
// or 0xE0-0xFC. Here a name is split into its characters and each is
// decoded to UTF-8 by the platform's own converter (iconv's CP932 on POSIX
// systems, MultiByteToWideChar(932) on Windows). Control bytes and bytes
// that do not decode are never guessed: they stay single bytes, marked as
// not decoded, for the caller to show as \xNN.
#ifndef INFO_SHIFT_JIS_H
#define INFO_SHIFT_JIS_H

#include <cstddef>
#include <cstdint>

namespace info {

struct NameUnit {
    const char* bytes;    // within the name
    std::int32_t length;  // 1 or 2
    bool decoded;
    char utf8[8];         // the character, zero-terminated, when decoded
    std::int32_t columns;  // display columns: 1 for a single byte, 2 for two
};

// The longest name split is a disk name: 16 bytes, so at most 16 units.
constexpr std::int32_t kMaxNameUnits = 16;

// Splits the zero-terminated `name` (at most kMaxNameUnits bytes looked at)
// into `out`; returns the number of units.
std::int32_t SplitShiftJis(const char* name, NameUnit (&out)[kMaxNameUnits]);

// False when the platform's converter cannot be had: then only ASCII
// decodes, and every other byte is left undecoded.
bool ConverterAvailable();

// True when `name` is not empty and every byte of it decodes.
bool DecodesWhole(const char* name);

}  // namespace info

#endif
