// Writes large images for measuring a run:
//   make_bench_image large FILE    64 full 720 KiB disks, 232 files each
//   make_bench_image hostile FILE  8 disks whose every track states 1,024
//                                  records, the sectors wanted last, and
//                                  232 files of 255 sectors each
//   make_bench_image small FILE    one disk of 20 files of 1 to 11 sectors
//   make_bench_image shared FILE   64 disks whose 164 track-table entries
//                                  all point at one track of 1,017 records
//                                  (the sectors of slots 0 to 112), and 232
//                                  files of 255 sectors each, named apart
//                                  from disk to disk
#include <cstdio>
#include <string>

#include "image_builder.h"

using namespace testimg;

namespace {

Disk LargeDisk(int index, int files) {
    Disk disk = StandardDisk(160, "BENCH " + std::to_string(index));
    std::vector<Entry> entries;
    int lsn = 6;
    for (int i = 0; i < files; i++) {
        const int sectors = 1 + (i * 7 + index) % 11;
        if (lsn + sectors > 1440) lsn = 6;
        entries.push_back({"F" + std::to_string(index) + "_" + std::to_string(i),
                           static_cast<std::uint16_t>(lsn), static_cast<std::uint8_t>(sectors)});
        lsn += sectors;
    }
    WriteDirectory(disk, 11, entries, {});
    return disk;
}

Disk HostileDisk(int index) {
    Disk disk = StandardDisk(164, "HOSTILE " + std::to_string(index));
    std::vector<Entry> entries;
    for (int i = 0; i < 232; i++) {
        entries.push_back({"H" + std::to_string(i), static_cast<std::uint16_t>(9 + (i * 5) % 1200),
                           255});
    }
    WriteDirectory(disk, 11, entries, {});
    for (auto& [slot, track] : disk.tracks) {
        Record filler;
        filler.c = 0xEE;
        filler.count = 0xFFFF;
        std::vector<Record> records(1024 - track.records.size(), filler);
        for (Record& rec : track.records) rec.count = 0xFFFF;
        records.insert(records.end(), track.records.begin(), track.records.end());
        track.records = records;
    }
    return disk;
}

Disk SharedDisk(int index) {
    // A standard disk of 113 slots, its directory written as usual, then
    // every record moved into slot 0's track.
    Disk disk = StandardDisk(113, "SHARED " + std::to_string(index));
    std::vector<Entry> entries;
    for (int i = 0; i < 232; i++) {
        entries.push_back({"S" + std::to_string(index) + "_" + std::to_string(i),
                           static_cast<std::uint16_t>(7 + (i * 3) % 750), 255});
    }
    WriteDirectory(disk, 11, entries, {});
    Track all;
    for (auto& [slot, track] : disk.tracks) {
        all.records.insert(all.records.end(), track.records.begin(), track.records.end());
    }
    for (Record& rec : all.records) rec.count = static_cast<std::uint16_t>(all.records.size());
    disk.tracks.clear();
    disk.tracks[0] = all;
    // Slot 0's track is stored right after the header.
    for (int slot = 1; slot < 164; slot++) disk.tableOverride[slot] = 688;
    return disk;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s large|small|hostile|shared FILE\n", argv[0]);
        return 1;
    }
    const std::string kind = argv[1];
    std::vector<Disk> disks;
    const int count = kind == "hostile" ? 8 : kind == "small" ? 1 : 64;
    for (int i = 0; i < count; i++) {
        disks.push_back(kind == "large" || kind == "small" ? LargeDisk(i, kind == "small" ? 20 : 232)
                        : kind == "shared" ? SharedDisk(i)
                                           : HostileDisk(i));
    }
    if (!WriteFile(argv[2], BuildImage(disks))) {
        std::perror(argv[2]);
        return 1;
    }
    return 0;
}
