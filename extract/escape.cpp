#include "escape.h"

#include <cstdio>

namespace extract {

QuotedName::QuotedName(const char* name) {
    std::size_t at = 0;
    text[at++] = '"';
    for (std::size_t i = 0; name[i] != '\0' && i < kMaxQuotedBytes; i++) {
        const auto byte = static_cast<unsigned char>(name[i]);
        if (byte == '"' || byte == '\\') {
            text[at++] = '\\';
            text[at++] = static_cast<char>(byte);
        } else if (byte >= 0x20 && byte < 0x7F) {
            text[at++] = static_cast<char>(byte);
        } else {
            std::snprintf(text + at, 5, "\\x%02X", byte);
            at += 4;
        }
    }
    text[at++] = '"';
    text[at] = '\0';
}

}  // namespace extract
