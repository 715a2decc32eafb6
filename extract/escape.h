// Names from an image as diagnostics show them: in double quotes, printable
// ASCII as it is, every other byte as \xNN, the quote and the backslash
// escaped with a backslash.
#ifndef EXTRACT_ESCAPE_H
#define EXTRACT_ESCAPE_H

#include <cstddef>

namespace extract {

// Up to 16 bytes of name (a disk name), each at most 4 characters, quotes.
constexpr std::size_t kMaxQuotedBytes = 16;

struct QuotedName {
    char text[2 + 4 * kMaxQuotedBytes + 1];

    // Quotes the zero-terminated `name`, at most kMaxQuotedBytes of it.
    explicit QuotedName(const char* name);
};

}  // namespace extract

#endif
