#include "file_name.h"

#include <cstring>

namespace extract {

namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool IsWindowsForbidden(unsigned char byte) {
    return (byte >= 0x01 && byte <= 0x1F) || std::strchr("<>:\"\\|?*", byte) != nullptr;
}

// Windows opens the device for these names, with or without an extension.
bool IsWindowsDevice(const char* name) {
    static const char* const kDevices[] = {
        "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2",  "COM3",    "COM4",
        "COM5", "COM6", "COM7", "COM8", "COM9", "LPT1",  "LPT2",    "LPT3",
        "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9",  "CONIN$",  "CONOUT$"};
    std::size_t stem = 0;
    while (name[stem] != '\0' && name[stem] != '.') stem++;
    for (const char* device : kDevices) {
        if (std::strlen(device) != stem) continue;
        std::size_t i = 0;
        while (i < stem && Upper(name[i]) == device[i]) i++;
        if (i == stem) return true;
    }
    return false;
}

NameResult MakeFileName(const char* entryName, bool windowsRules,
                        char (&out)[kFileNameSize]) {
    std::memset(out, 0, sizeof out);
    const std::size_t length = std::strlen(entryName);
    if (length == 0 || length > kFileNameSize - 2 || std::strcmp(entryName, ".") == 0 ||
        std::strcmp(entryName, "..") == 0) {
        return NameResult::Refused;
    }
    std::size_t at = 0;
    if (windowsRules && IsWindowsDevice(entryName)) out[at++] = '_';
    for (std::size_t i = 0; i < length; i++) {
        const auto byte = static_cast<unsigned char>(entryName[i]);
        const bool replace = byte == '/' || (windowsRules && IsWindowsForbidden(byte));
        out[at++] = replace ? '_' : entryName[i];
    }
    // A leading dot would make a hidden file, and an image extracted in a
    // home folder must not plant ".profile" or ".bashrc".
    if (out[0] == '.') out[0] = '_';
    // Windows drops a trailing dot, which would make "A." the file "A".
    if (windowsRules && out[at - 1] == '.') out[at - 1] = '_';
    return std::strcmp(out, entryName) == 0 ? NameResult::Same : NameResult::Changed;
}

}  // namespace extract
