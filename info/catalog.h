// What archivists keep of a collection, made from the facts d88info finds:
// a checksum manifest of one image's files, a Logiqx XML DAT of the images,
// and the groups of disks and files that hold the same data.
#ifndef INFO_CATALOG_H
#define INFO_CATALOG_H

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "inspect.h"

namespace info {

// The facts of one image the catalogues need, gathered as a Report.
struct CatalogImage {
    std::string path;
    std::int64_t fileSize = 0;
    DigestSet hashes;
    struct Disk {
        std::int32_t index;
        std::string name;
        std::string dataSha1;
    };
    struct File {
        std::int32_t disk;
        std::string entryName;
        std::string fileName;  // empty when the extractor writes no file for it
        DigestSet hashes;
    };
    std::vector<Disk> disks;
    std::vector<File> files;  // every entry with data, in directory order
};

class CatalogReport : public Report {
public:
    explicit CatalogReport(CatalogImage& image) : image_(image) {}
    void BeginImage(const char* path, std::int64_t fileSize, const DigestSet* hashes) override;
    void BeginDisk(const DiskFacts& facts) override;
    void Found(const Anomaly&) override {}
    void BeginTracks() override {}
    void Track(std::int32_t, const d88::RecordHeader*, std::int32_t) override {}
    void Fit(const FitFacts&) override {}
    void BeginDirectory(std::int32_t, std::int32_t, std::int32_t) override {}
    void Entry(const DirectoryLine& line) override;
    void EndDisk() override {}
    void EndImage(std::int32_t) override {}

private:
    CatalogImage& image_;
    std::int32_t disk_ = -1;
};

// One line per file the extractor leaves in its folder (the last entry of
// each name), as `sha256sum`, `sha1sum` or `md5sum` write them: "HASH  NAME",
// and a name holding "\" or a line feed escaped, its line starting with "\".
void WriteManifest(std::FILE* out, const CatalogImage& image, const std::string& algorithm);

// A Logiqx XML DAT: one game per image, named as d88ext names its folder,
// holding the image file as its rom.
void WriteDat(std::FILE* out, const std::vector<CatalogImage>& images, bool windowsRules);

// The groups of disks with the same data_sha1 and of files with the same
// SHA-1, groups of one left out: as JSON, or one group a line.
void WriteDuplicates(std::FILE* out, const std::vector<CatalogImage>& images, bool json);

}  // namespace info

#endif
