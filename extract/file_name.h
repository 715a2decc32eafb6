// Turning an entry's name, which comes from an image of unknown origin, into
// the name of a file in the working directory.
//
// Everywhere: an empty name, "." and ".." are refused, and every "/"
// becomes "_", so that no name reaches outside the working directory; then
// a leading "." becomes "_", so that no name makes a hidden file. All other
// bytes, 0x80 and above included (Shift_JIS kana), are kept.
//
// With the Windows rules besides: < > : " \ | ? * and bytes 0x01-0x1F
// become "_"; a device name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9,
// CONIN$, CONOUT$, in any letter case, alone or before a ".") gets a "_" in
// front; a trailing "." becomes "_".
#ifndef EXTRACT_FILE_NAME_H
#define EXTRACT_FILE_NAME_H

#include <cstddef>

namespace extract {

// An entry name of at most 8 bytes, with a "_" in front: 9 bytes and a zero.
constexpr std::size_t kFileNameSize = 16;

enum class NameResult {
    Same,     // written under the entry's own name
    Changed,  // written under another name, which the user is told
    Refused,  // not written
};

NameResult MakeFileName(const char* entryName, bool windowsRules,
                        char (&out)[kFileNameSize]);

// The Windows rules, for names of any length (d88ext's folder names): a
// byte Windows refuses in a name (< > : " \ | ? * and 0x01-0x1F), and a
// name Windows takes for a device (alone or before a ".").
bool IsWindowsForbidden(unsigned char byte);
bool IsWindowsDevice(const char* name);

#ifdef _WIN32
constexpr bool kWindowsNames = true;
#else
constexpr bool kWindowsNames = false;
#endif

}  // namespace extract

#endif
