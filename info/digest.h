// Digests of bytes as archivists keep them: CRC32, MD5, SHA-1 and SHA-256,
// in lower-case hexadecimal (CRC32 as 8 digits). Computed by maintained
// libraries, never by code of our own: zlib's crc32, and OpenSSL's
// libcrypto, or on Windows the system's CNG (BCrypt).
#ifndef INFO_DIGEST_H
#define INFO_DIGEST_H

#include <memory>

#include "inspect.h"

namespace info {

// A digester of all four digests, or of SHA-1 alone.
std::unique_ptr<Digester> MakeDigester(bool sha1Only);

}  // namespace info

#endif
