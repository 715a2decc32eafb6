#include "report.h"

#include "extract/escape.h"

namespace info {

namespace {

const char* PredictionText(Prediction prediction) {
    switch (prediction) {
        case Prediction::Ok: return "ok";
        case Prediction::Short: return "short";
        case Prediction::Missing: return "missing";
        case Prediction::Skipped: return "skipped";
    }
    return "";
}

}  // namespace

const char* MediaMeaning(std::int32_t media) {
    switch (media) {
        case 0x00: return "2D";
        case 0x10: return "2DD";
        case 0x20: return "2HD";
        case 0x30: return "1D";
        case 0x40: return "1DD";
        default: return "other";
    }
}

const char* WriteProtectMeaning(std::int32_t value) {
    switch (value) {
        case 0x00: return "writable";
        case 0x10: return "protected";
        default: return "other";
    }
}

void TextReport::BeginImage(const char* path, std::int64_t fileSize) {
    std::fprintf(out_, "image %s: %lld bytes\n", path, static_cast<long long>(fileSize));
}

void TextReport::BeginDisk(const DiskFacts& f) {
    std::fprintf(out_, "disk %d %s at offset %lld\n", f.index, extract::QuotedName(f.name).text,
                 static_cast<long long>(f.offset));
    std::fprintf(out_,
                 "  media 0x%02X (%s), write protect 0x%02X (%s), size field %u, %lld bytes present\n",
                 static_cast<unsigned>(f.media), MediaMeaning(f.media),
                 static_cast<unsigned>(f.writeProtect), WriteProtectMeaning(f.writeProtect),
                 f.sizeField, static_cast<long long>(f.bytesPresent));
    if (f.sectorsPerTrack > 0) {
        std::fprintf(out_, "  %d of 164 track slots hold a track; most hold %d sectors of %d bytes\n",
                     f.tracks, f.sectorsPerTrack, f.sectorSize);
    } else {
        std::fprintf(out_, "  %d of 164 track slots hold a track; no track can be read\n", f.tracks);
    }
}

void TextReport::Found(const Anomaly& a) {
    if (a.slot < 0) {
        std::fprintf(out_, "  anomaly: disk: %s\n", a.text);
    } else if (a.sector < 0) {
        std::fprintf(out_, "  anomaly: slot %d (C%d H%d): %s\n", a.slot, a.cylinder, a.head, a.text);
    } else {
        std::fprintf(out_, "  anomaly: slot %d (C%d H%d) sector %d: %s\n", a.slot, a.cylinder,
                     a.head, a.sector, a.text);
    }
}

void TextReport::Track(std::int32_t slot, const d88::RecordHeader* records, std::int32_t count) {
    std::fprintf(out_, "  slot %d (C%d H%d): %d records:", slot, slot / 2, slot % 2, count);
    for (std::int32_t i = 0; i < count; i++) {
        const d88::SectorId& id = records[i].id;
        std::fprintf(out_, " %u/%u/%u/%u", id.c, id.h, id.r, id.n);
    }
    std::fputc('\n', out_);
}

void TextReport::BeginDirectory(std::int32_t entrySize, std::int32_t bytesRead,
                                std::int32_t entries) {
    std::fprintf(out_, "  directory, %d-byte entries, %d of 2560 bytes read:\n", entrySize,
                 bytesRead);
    static_cast<void>(entries);
}

void TextReport::Entry(const DirectoryLine& line) {
    const extract::DirectoryEntry& e = *line.entry;
    const extract::QuotedName name(e.name);
    if (line.prediction == Prediction::Skipped) {
        std::fprintf(out_, "    %-12s skipped\n", name.text);
        return;
    }
    std::fprintf(out_, "    %-12s first sector %u, sectors %u: ", name.text, e.firstSector,
                 e.sectorCount);
    if (line.prediction == Prediction::Short) {
        std::fprintf(out_, "short: %d of %d bytes", line.bytesRead, e.size);
    } else {
        std::fputs(PredictionText(line.prediction), out_);
    }
    if (line.prediction != Prediction::Missing) {
        if (line.naming == extract::NameResult::Refused) {
            std::fputs(", not written: no usable file name", out_);
        } else if (line.naming == extract::NameResult::Changed) {
            std::fprintf(out_, ", written as %s", extract::QuotedName(line.fileName).text);
        }
    }
    std::fputc('\n', out_);
}

void TextReport::EndImage(std::int32_t anomalies) {
    std::fprintf(out_, "%d %s\n", anomalies, anomalies == 1 ? "anomaly" : "anomalies");
}

void JsonReport::String(const char* text) {
    std::fputc('"', out_);
    for (const char* p = text; *p != '\0'; p++) {
        const auto byte = static_cast<unsigned char>(*p);
        if (byte == '"' || byte == '\\') {
            std::fputc('\\', out_);
            std::fputc(byte, out_);
        } else if (byte >= 0x20 && byte < 0x7F) {
            std::fputc(byte, out_);
        } else {
            std::fprintf(out_, "\\u%04x", byte);
        }
    }
    std::fputc('"', out_);
}

void JsonReport::CloseSection() {
    if (inSection_) std::fputc(']', out_);
    inSection_ = false;
}

void JsonReport::BeginImage(const char* path, std::int64_t fileSize) {
    std::fputs("{\"image\":", out_);
    String(path);
    std::fprintf(out_, ",\"file_size\":%lld,\"disks\":[", static_cast<long long>(fileSize));
}

void JsonReport::BeginDisk(const DiskFacts& f) {
    if (!firstDisk_) std::fputc(',', out_);
    firstDisk_ = false;
    std::fprintf(out_, "\n{\"index\":%d,\"offset\":%lld,\"name\":", f.index,
                 static_cast<long long>(f.offset));
    String(f.name);
    std::fprintf(out_,
                 ",\"media\":%d,\"media_meaning\":\"%s\",\"write_protect\":%d,"
                 "\"write_protect_meaning\":\"%s\",\"size_field\":%u,\"bytes_present\":%lld,"
                 "\"track_slots_used\":%d,\"sectors_per_track\":%d,\"sector_size\":%d,"
                 "\"anomalies\":[",
                 f.media, MediaMeaning(f.media), f.writeProtect, WriteProtectMeaning(f.writeProtect),
                 f.sizeField, static_cast<long long>(f.bytesPresent), f.tracks, f.sectorsPerTrack,
                 f.sectorSize);
    inSection_ = true;
    firstItem_ = true;
}

void JsonReport::Found(const Anomaly& a) {
    if (!firstItem_) std::fputc(',', out_);
    firstItem_ = false;
    std::fprintf(out_, "\n {\"kind\":\"%s\",", AnomalyName(a.kind));
    if (a.slot < 0) {
        std::fputs("\"slot\":null,\"cylinder\":null,\"head\":null,", out_);
    } else {
        std::fprintf(out_, "\"slot\":%d,\"cylinder\":%d,\"head\":%d,", a.slot, a.cylinder, a.head);
    }
    if (a.sector < 0) {
        std::fputs("\"sector\":null,\"text\":", out_);
    } else {
        std::fprintf(out_, "\"sector\":%d,\"text\":", a.sector);
    }
    String(a.text);
    std::fputc('}', out_);
}

void JsonReport::BeginTracks() {
    CloseSection();
    std::fputs(",\"tracks\":[", out_);
    inSection_ = true;
    firstItem_ = true;
}

void JsonReport::Track(std::int32_t slot, const d88::RecordHeader* records, std::int32_t count) {
    if (!firstItem_) std::fputc(',', out_);
    firstItem_ = false;
    std::fprintf(out_, "\n {\"slot\":%d,\"cylinder\":%d,\"head\":%d,\"ids\":[", slot, slot / 2,
                 slot % 2);
    for (std::int32_t i = 0; i < count; i++) {
        const d88::SectorId& id = records[i].id;
        std::fprintf(out_, "%s[%u,%u,%u,%u]", i == 0 ? "" : ",", id.c, id.h, id.r, id.n);
    }
    std::fputs("]}", out_);
}

void JsonReport::BeginDirectory(std::int32_t entrySize, std::int32_t bytesRead,
                                std::int32_t entries) {
    CloseSection();
    std::fprintf(out_,
                 ",\"directory\":{\"entry_size\":%d,\"bytes_read\":%d,\"entries_within\":%d,"
                 "\"entries\":[",
                 entrySize, bytesRead, entries);
    inSection_ = true;
    firstItem_ = true;
    inDirectory_ = true;
}

void JsonReport::Entry(const DirectoryLine& line) {
    const extract::DirectoryEntry& e = *line.entry;
    if (!firstItem_) std::fputc(',', out_);
    firstItem_ = false;
    std::fprintf(out_, "\n {\"index\":%d,\"name\":", line.index);
    String(e.name);
    std::fprintf(out_, ",\"status\":\"%s\"", PredictionText(line.prediction));
    if (line.prediction != Prediction::Skipped) {
        std::fprintf(out_, ",\"first_sector\":%u,\"sectors\":%u,\"size\":%d,\"bytes_read\":%d",
                     e.firstSector, e.sectorCount, e.size, line.bytesRead);
        std::fputs(",\"file\":", out_);
        if (line.fileName != nullptr) {
            String(line.fileName);
        } else {
            std::fputs("null", out_);
        }
    }
    std::fputc('}', out_);
}

void JsonReport::EndDisk() {
    CloseSection();
    if (inDirectory_) std::fputc('}', out_);
    inDirectory_ = false;
    std::fputc('}', out_);
}

void JsonReport::EndImage(std::int32_t anomalies) {
    std::fprintf(out_, "\n],\"anomaly_count\":%d}\n", anomalies);
}

}  // namespace info
