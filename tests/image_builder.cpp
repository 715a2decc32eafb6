#include "image_builder.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testimg {

namespace {

void PutLe16(Bytes& out, std::size_t at, std::uint16_t value) {
    out[at] = static_cast<std::uint8_t>(value & 0xFF);
    out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutLe32(Bytes& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; i++) {
        out[at + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
    }
}

constexpr int kHeader = 688;
constexpr int kSlots = 164;

}  // namespace

Bytes SectorData(int lsn, int length) {
    Bytes data(static_cast<std::size_t>(length));
    for (int j = 0; j < length; j++) {
        data[static_cast<std::size_t>(j)] =
            static_cast<std::uint8_t>((lsn * 31 + j * 7 + (j >> 8)) & 0xFF);
    }
    if (length >= 2) {
        data[0] = static_cast<std::uint8_t>(lsn & 0xFF);
        data[1] = static_cast<std::uint8_t>(lsn >> 8);
    }
    return data;
}

Disk StandardDisk(int slots, const std::string& name) {
    Disk disk;
    disk.name = name;
    for (int slot = 0; slot < slots; slot++) {
        Track track;
        for (int r = 1; r <= 9; r++) {
            Record rec;
            rec.c = static_cast<std::uint8_t>(slot / 2);
            rec.h = static_cast<std::uint8_t>(slot % 2);
            rec.r = static_cast<std::uint8_t>(r);
            rec.n = 2;
            rec.data = SectorData(slot * 9 + r - 1);
            track.records.push_back(rec);
        }
        disk.tracks[slot] = track;
    }
    return disk;
}

Record& RecordAt(Disk& disk, int slot, int r) {
    for (Record& rec : disk.tracks.at(slot).records) {
        if (rec.r == r) return rec;
    }
    throw std::out_of_range("no such record");
}

void RemoveRecord(Disk& disk, int slot, int r) {
    auto& recs = disk.tracks.at(slot).records;
    recs.erase(std::remove_if(recs.begin(), recs.end(),
                              [r](const Record& rec) { return rec.r == r; }),
               recs.end());
}

Bytes EntryBytes(int entrySize, const Entry& entry) {
    const std::size_t width = entrySize == 11 ? 8 : 6;
    Bytes raw(static_cast<std::size_t>(entrySize), 0x20);
    for (std::size_t i = 0; i < width && i < entry.name.size(); i++) {
        raw[i] = static_cast<std::uint8_t>(entry.name[i]);
    }
    PutLe16(raw, width, entry.lsn);
    raw[width + 2] = entry.sectors;
    return raw;
}

void PutDirectoryBytes(Disk& disk, int offset, const Bytes& raw) {
    for (std::size_t i = 0; i < raw.size(); i++) {
        const int at = offset + static_cast<int>(i);
        if (at >= 2560) throw std::out_of_range("past the directory area");
        Record& rec = RecordAt(disk, 0, 2 + at / 512);
        rec.data.at(static_cast<std::size_t>(at % 512)) = raw[i];
    }
}

void WriteDirectory(Disk& disk, int entrySize, const std::vector<Entry>& entries,
                    const Bytes& end, std::uint8_t fill) {
    PutDirectoryBytes(disk, 0, Bytes(2560, fill));
    int offset = 1;
    for (const Entry& entry : entries) {
        PutDirectoryBytes(disk, offset, EntryBytes(entrySize, entry));
        offset += entrySize;
    }
    if (!end.empty() && offset + static_cast<int>(end.size()) <= 2560) {
        PutDirectoryBytes(disk, offset, end);
    }
}

void PutFileData(Disk& disk, int lsn, const Bytes& data) {
    for (std::size_t done = 0; done < data.size(); done += 512, lsn++) {
        Record& rec = RecordAt(disk, lsn / 9, lsn % 9 + 1);
        const std::size_t n = std::min<std::size_t>(512, data.size() - done);
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(done), n,
                    rec.data.begin());
    }
}

Bytes BuildDisk(const Disk& disk) {
    Bytes out(kHeader, 0);
    for (std::size_t i = 0; i < 16 && i < disk.name.size(); i++) {
        out[i] = static_cast<std::uint8_t>(disk.name[i]);
    }
    out[0x1A] = disk.writeProtect;
    out[0x1B] = disk.media;
    for (const auto& [slot, track] : disk.tracks) {
        if (slot < 0 || slot >= kSlots) throw std::out_of_range("slot");
        PutLe32(out, 0x20 + 4 * static_cast<std::size_t>(slot),
                static_cast<std::uint32_t>(out.size()));
        const auto total = static_cast<std::uint16_t>(track.records.size());
        for (const Record& rec : track.records) {
            Bytes head(16, 0);
            head[0] = rec.c;
            head[1] = rec.h;
            head[2] = rec.r;
            head[3] = rec.n;
            PutLe16(head, 4, rec.count.value_or(total));
            head[6] = rec.density;
            head[7] = rec.deleted;
            head[8] = rec.status;
            PutLe16(head, 14,
                    rec.length.value_or(static_cast<std::uint16_t>(rec.data.size())));
            out.insert(out.end(), head.begin(), head.end());
            out.insert(out.end(), rec.data.begin(), rec.data.end());
        }
    }
    for (const auto& [slot, value] : disk.tableOverride) {
        PutLe32(out, 0x20 + 4 * static_cast<std::size_t>(slot), value);
    }
    PutLe32(out, 0x1C,
            disk.sizeOverride.value_or(static_cast<std::uint32_t>(out.size())));
    return out;
}

Bytes BuildImage(const std::vector<Disk>& disks) {
    Bytes out;
    for (const Disk& disk : disks) {
        const Bytes one = BuildDisk(disk);
        out.insert(out.end(), one.begin(), one.end());
    }
    return out;
}

bool WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
}

Bytes ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

}  // namespace testimg
