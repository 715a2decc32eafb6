// Images inside archives (.zip, .7z, .lzh, .rar, .tar, ...), read with
// libarchive, never unpacked to disk: each member is read whole into
// memory and opened there.
#ifndef BATCH_ARCHIVE_H
#define BATCH_ARCHIVE_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace batch {

// The largest member read into memory; a larger one is not read.
constexpr std::int64_t kMaxMemberSize = 256ll << 20;

// Whether this build reads archives (the Windows build has no libarchive).
bool ArchivesSupported();

struct Member {
    std::string name;  // its path in the archive, as UTF-8
    std::int64_t size;
    bool regular;      // a file, not a folder or a link
};

// Reads an archive's members in stored order.
class ArchiveReader {
public:
    ArchiveReader();
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    // False, with the reason in `error`, when the archive cannot be opened.
    bool Open(const std::string& path, std::string* error);
    // The next member; false at the end, or on a failure (then `error` is
    // not empty).
    bool Next(Member* member, std::string* error);
    // The current member's bytes; false, with the reason, when they cannot
    // be read.
    bool ReadData(std::vector<std::uint8_t>* bytes, std::string* error);
    // How many members Next has given.
    std::size_t Position() const { return position_; }
    const std::string& Path() const { return path_; }

private:
    struct Handle;
    std::unique_ptr<Handle> handle_;
    std::string path_;
    std::size_t position_ = 0;
};

}  // namespace batch

#endif
