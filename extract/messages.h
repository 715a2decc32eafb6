// Messages shared by the programs.
#ifndef EXTRACT_MESSAGES_H
#define EXTRACT_MESSAGES_H

namespace extract {

// "ファイルをオープンできません" (the file cannot be opened) and a line feed,
// in Shift_JIS (code page 932), written as these bytes on every platform.
inline constexpr char kOpenFailure[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x83\x49\x81\x5B\x83\x76\x83\x93"
    "\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\n";

}  // namespace extract

#endif
