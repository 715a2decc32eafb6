#include "archive.h"

#ifdef D88_HAVE_LIBARCHIVE
#include <archive.h>
#include <archive_entry.h>
#endif

namespace batch {

#ifdef D88_HAVE_LIBARCHIVE

struct ArchiveReader::Handle {
    archive* reader = nullptr;
    ~Handle() {
        if (reader != nullptr) archive_read_free(reader);
    }
};

bool ArchivesSupported() { return true; }

ArchiveReader::ArchiveReader() = default;
ArchiveReader::~ArchiveReader() = default;

bool ArchiveReader::Open(const std::string& path, std::string* error) {
    handle_ = std::make_unique<Handle>();
    path_ = path;
    position_ = 0;
    handle_->reader = archive_read_new();
    archive* reader = handle_->reader;
    archive_read_support_filter_all(reader);
    archive_read_support_format_all(reader);
    // Names not marked as UTF-8 (zip, lha) are code page 932: these sets
    // come from Japanese machines. A format that knows no such option
    // ignores it.
    archive_read_set_options(reader, "hdrcharset=CP932");
    if (archive_read_open_filename(reader, path.c_str(), 65536) != ARCHIVE_OK) {
        *error = archive_error_string(reader) != nullptr ? archive_error_string(reader)
                                                         : "not an archive this build can read";
        handle_.reset();
        return false;
    }
    return true;
}

bool ArchiveReader::Next(Member* member, std::string* error) {
    error->clear();
    if (!handle_) return false;
    archive_entry* entry = nullptr;
    const int result = archive_read_next_header(handle_->reader, &entry);
    if (result == ARCHIVE_EOF) return false;
    if (result < ARCHIVE_WARN) {
        const char* text = archive_error_string(handle_->reader);
        *error = text != nullptr ? text : "the archive cannot be read";
        return false;
    }
    position_++;
    const char* name = archive_entry_pathname_utf8(entry);
    if (name == nullptr) name = archive_entry_pathname(entry);
    member->name = name != nullptr ? name : "";
    member->size = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : -1;
    member->regular = archive_entry_filetype(entry) == AE_IFREG;
    return true;
}

bool ArchiveReader::ReadData(std::vector<std::uint8_t>* bytes, std::string* error) {
    bytes->clear();
    std::uint8_t chunk[65536];
    for (;;) {
        const la_ssize_t got = archive_read_data(handle_->reader, chunk, sizeof chunk);
        if (got == 0) return true;
        if (got < 0) {
            const char* text = archive_error_string(handle_->reader);
            *error = text != nullptr ? text : "the member cannot be read";
            return false;
        }
        if (static_cast<std::int64_t>(bytes->size()) + got > kMaxMemberSize) {
            *error = "larger than 256 MiB";
            return false;
        }
        bytes->insert(bytes->end(), chunk, chunk + got);
    }
}

#else

struct ArchiveReader::Handle {};

bool ArchivesSupported() { return false; }

ArchiveReader::ArchiveReader() = default;
ArchiveReader::~ArchiveReader() = default;

bool ArchiveReader::Open(const std::string& path, std::string* error) {
    path_ = path;
    *error = "this build reads no archives (it was made without libarchive)";
    return false;
}

bool ArchiveReader::Next(Member*, std::string* error) {
    error->clear();
    return false;
}

bool ArchiveReader::ReadData(std::vector<std::uint8_t>*, std::string* error) {
    *error = "this build reads no archives";
    return false;
}

#endif

}  // namespace batch
