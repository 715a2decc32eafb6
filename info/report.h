// The two ways d88info tells what it found: lines for a person, one JSON
// document for a script.
#ifndef INFO_REPORT_H
#define INFO_REPORT_H

#include <cstdio>

#include "inspect.h"

namespace info {

const char* MediaMeaning(std::int32_t media);

// "key":..., "key_bytes":..., "key_decoded":... of a Shift_JIS name, and
// the same three of a path, which is read as UTF-8 (see JsonReport).
void JsonNameFields(std::FILE* out, const char* key, const char* name);
void JsonPathFields(std::FILE* out, const char* key, const char* path);
const char* WriteProtectMeaning(std::int32_t value);

// How the text report shows names, which are Shift_JIS bytes. Always in
// double quotes, with the quote and the backslash escaped, and every byte
// that does not decode (control bytes among them) as \xNN.
enum class NameStyle {
    Escaped,  // every byte outside printable ASCII as \xNN
    Utf8,     // characters decoded to UTF-8, for a terminal that expects it
    Bytes,    // characters as their bytes, for a console on code page 932
};

class TextReport : public Report {
public:
    TextReport(std::FILE* out, NameStyle style) : out_(out), style_(style) {}
    void NotD88(const char* reason) override;
    void BeginImage(const char* path, std::int64_t fileSize, const DigestSet* hashes) override;
    void BeginDisk(const DiskFacts& facts) override;
    void Found(const Anomaly& anomaly) override;
    void BeginTracks() override {}
    void Track(std::int32_t slot, const d88::RecordHeader* records, std::int32_t count) override;
    void BeginDirectory(std::int32_t entrySize, std::int32_t bytesRead,
                        std::int32_t entries) override;
    void Fit(const FitFacts& fit) override;
    void Entry(const DirectoryLine& line) override;
    void EndDisk() override {}
    void EndImage(std::int32_t anomalies) override;

private:
    // Writes `name` quoted, padded with spaces to `columns` display columns.
    void Name(const char* name, std::int32_t columns = 0);

    std::FILE* out_;
    NameStyle style_;
};

// Names are given three ways: KEY, the name decoded from Shift_JIS to UTF-8
// (a byte that does not decode as U+FFFD, never as a character it does not
// mean); KEY_bytes, its bytes in hexadecimal, from which the exact name can
// always be rebuilt; and KEY_decoded, false when some byte did not decode.
class JsonReport : public Report {
public:
    // `compact`: the document on one line (JSON Lines, one per image).
    explicit JsonReport(std::FILE* out, bool compact = false) : out_(out), compact_(compact) {}
    void NotD88(const char* reason) override { notD88_ = reason; }
    void BeginImage(const char* path, std::int64_t fileSize, const DigestSet* hashes) override;
    void BeginDisk(const DiskFacts& facts) override;
    void Found(const Anomaly& anomaly) override;
    void BeginTracks() override;
    void Track(std::int32_t slot, const d88::RecordHeader* records, std::int32_t count) override;
    void BeginDirectory(std::int32_t entrySize, std::int32_t bytesRead,
                        std::int32_t entries) override;
    void Fit(const FitFacts& fit) override;
    void Entry(const DirectoryLine& line) override;
    void EndDisk() override;
    void EndImage(std::int32_t anomalies) override;

private:
    // An ASCII string; other bytes as \u00XX.
    void String(const char* text);
    // "key":..., "key_bytes":..., "key_decoded":... for a Shift_JIS name.
    void NameFields(const char* key, const char* name);
    // The same three for a path, which is read as UTF-8.
    void PathFields(const char* key, const char* path);
    // Closes the array the disk is in the middle of, if any.
    void CloseSection();
    // A line break between items, unless the document is compact.
    const char* Break() const { return compact_ ? "" : "\n"; }
    void Hashes(const DigestSet& hashes);

    std::FILE* out_;
    bool compact_;
    const char* notD88_ = nullptr;
    bool firstDisk_ = true;
    bool firstItem_ = true;
    bool inSection_ = false;
    bool inDirectory_ = false;
};

}  // namespace info

#endif
