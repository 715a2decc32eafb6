// The two ways d88info tells what it found: lines for a person, one JSON
// document for a script.
#ifndef INFO_REPORT_H
#define INFO_REPORT_H

#include <cstdio>

#include "inspect.h"

namespace info {

const char* MediaMeaning(std::int32_t media);
const char* WriteProtectMeaning(std::int32_t value);

class TextReport : public Report {
public:
    explicit TextReport(std::FILE* out) : out_(out) {}
    void BeginImage(const char* path, std::int64_t fileSize) override;
    void BeginDisk(const DiskFacts& facts) override;
    void Found(const Anomaly& anomaly) override;
    void BeginTracks() override {}
    void Track(std::int32_t slot, const d88::RecordHeader* records, std::int32_t count) override;
    void BeginDirectory(std::int32_t entrySize, std::int32_t bytesRead,
                        std::int32_t entries) override;
    void Entry(const DirectoryLine& line) override;
    void EndDisk() override {}
    void EndImage(std::int32_t anomalies) override;

private:
    std::FILE* out_;
};

// Strings are written with every byte outside printable ASCII as \u00XX
// (the byte's value), so the document is plain ASCII whatever the names
// hold; a reader gets the name's bytes back as code points 0 to 255.
class JsonReport : public Report {
public:
    explicit JsonReport(std::FILE* out) : out_(out) {}
    void BeginImage(const char* path, std::int64_t fileSize) override;
    void BeginDisk(const DiskFacts& facts) override;
    void Found(const Anomaly& anomaly) override;
    void BeginTracks() override;
    void Track(std::int32_t slot, const d88::RecordHeader* records, std::int32_t count) override;
    void BeginDirectory(std::int32_t entrySize, std::int32_t bytesRead,
                        std::int32_t entries) override;
    void Entry(const DirectoryLine& line) override;
    void EndDisk() override;
    void EndImage(std::int32_t anomalies) override;

private:
    void String(const char* text);
    // Closes the array the disk is in the middle of, if any.
    void CloseSection();

    std::FILE* out_;
    bool firstDisk_ = true;
    bool firstItem_ = true;
    bool inSection_ = false;
    bool inDirectory_ = false;
};

}  // namespace info

#endif
