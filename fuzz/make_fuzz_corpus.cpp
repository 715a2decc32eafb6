// Writes a seed corpus for the fuzz targets: small valid disks in both
// layouts, several disks, and one change per kind of damage.
#include <cstdio>
#include <string>
#include <vector>

#include "image_builder.h"
#include "samples.h"

using namespace testimg;

namespace {

Disk Small(int entrySize) {
    Disk disk = StandardDisk(3, "SEED");
    WriteDirectory(disk, entrySize,
                   {{"FILE", 9, 2}, {"COMX", 11, 1}, {"CROSS", 17, 3}, {"A/B", 12, 1}});
    return disk;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 1;
    }
    const std::string folder = argv[1];
    std::vector<std::pair<std::string, Bytes>> seeds;
    for (int size : {11, 9}) {
        const std::string tag = std::to_string(size);
        Disk disk = Small(size);
        seeds.push_back({"valid" + tag, BuildDisk(disk)});
        seeds.push_back({"two" + tag, BuildImage({disk, Small(size)})});
        Disk missing = disk;
        RemoveRecord(missing, 1, 2);
        seeds.push_back({"missing" + tag, BuildDisk(missing)});
        Disk shortRecord = disk;
        RecordAt(shortRecord, 0, 4).data.resize(100);
        seeds.push_back({"shortdir" + tag, BuildDisk(shortRecord)});
        Disk counts = disk;
        RecordAt(counts, 1, 1).count = 1;
        seeds.push_back({"counts" + tag, BuildDisk(counts)});
        Disk table = disk;
        table.tableOverride[1] = 0x80000000u;
        table.sizeOverride = 100;
        seeds.push_back({"table" + tag, BuildDisk(table)});
        Bytes cut = BuildDisk(disk);
        cut.resize(cut.size() - 700);
        seeds.push_back({"cut" + tag, cut});
    }
    seeds.push_back({"sample6", Sample6()});
    for (const auto& [name, bytes] : seeds) {
        if (!WriteFile(folder + "/" + name, bytes)) {
            std::perror(name.c_str());
            return 1;
        }
    }
    return 0;
}
