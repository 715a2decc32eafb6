#include "report.h"

#include <cstring>

#include "extract/escape.h"
#include "shift_jis.h"

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

void PrintEvidence(std::FILE* out, const LayoutEvidence& e) {
    std::fprintf(out, "give %d %s", e.entries, e.entries == 1 ? "entry" : "entries");
    if (e.unreadableNames > 0) {
        std::fprintf(out, " (%d %s unreadable)", e.unreadableNames,
                     e.unreadableNames == 1 ? "name" : "names");
    }
    std::fprintf(out, ", %d %s found, %d whole", e.filesFound,
                 e.filesFound == 1 ? "file" : "files", e.filesWhole);
}

void JsonEvidence(std::FILE* out, const LayoutEvidence& e) {
    std::fprintf(out,
                 "{\"entries\":%d,\"unreadable_names\":%d,\"skipped\":%d,\"files_found\":%d,"
                 "\"files_whole\":%d}",
                 e.entries, e.unreadableNames, e.skipped, e.filesFound, e.filesWhole);
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

void TextReport::Name(const char* name, std::int32_t columns) {
    char text[2 + 8 * kMaxNameUnits + 1];
    std::int32_t used = 0;
    if (style_ == NameStyle::Escaped) {
        std::snprintf(text, sizeof text, "%s", extract::QuotedName(name).text);
        used = static_cast<std::int32_t>(std::strlen(text));
    } else {
        NameUnit units[kMaxNameUnits];
        const std::int32_t count = SplitShiftJis(name, units);
        std::size_t at = 0;
        text[at++] = '"';
        used = 1;
        for (std::int32_t i = 0; i < count; i++) {
            const NameUnit& unit = units[i];
            if (!unit.decoded) {
                std::snprintf(text + at, 5, "\\x%02X", static_cast<unsigned char>(unit.bytes[0]));
                at += 4;
                used += 4;
                continue;
            }
            if (unit.length == 1 && (unit.bytes[0] == '"' || unit.bytes[0] == '\\')) {
                text[at++] = '\\';
                used++;
            }
            if (style_ == NameStyle::Utf8) {
                for (const char* p = unit.utf8; *p != '\0'; p++) text[at++] = *p;
            } else {
                for (std::int32_t k = 0; k < unit.length; k++) text[at++] = unit.bytes[k];
            }
            used += unit.columns;
        }
        text[at++] = '"';
        text[at] = '\0';
        used++;
    }
    std::fputs(text, out_);
    for (; used < columns; used++) std::fputc(' ', out_);
}

void TextReport::NotD88(const char* reason) {
    std::fprintf(out_, "not a D88 image: %s\n", reason);
}

void TextReport::BeginImage(const char* path, std::int64_t fileSize, const DigestSet* hashes) {
    std::fprintf(out_, "image %s: %lld bytes\n", path, static_cast<long long>(fileSize));
    if (hashes != nullptr) {
        std::fprintf(out_, "  crc32 %s sha1 %s\n", hashes->crc32.c_str(), hashes->sha1.c_str());
    }
}

void TextReport::BeginDisk(const DiskFacts& f) {
    std::fprintf(out_, "disk %d ", f.index);
    Name(f.name);
    std::fprintf(out_, " at offset %lld\n", static_cast<long long>(f.offset));
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
    if (f.hashes != nullptr) {
        std::fprintf(out_, "  crc32 %s sha1 %s data_sha1 %s\n", f.hashes->crc32.c_str(),
                     f.hashes->sha1.c_str(), f.dataSha1->c_str());
    }
}

void TextReport::Found(const Anomaly& a) {
    if (a.count > 1) {
        std::fprintf(out_, "  anomaly: slot %d (C%d H%d): %d records: %s (IDs", a.slot, a.cylinder,
                     a.head, a.count, a.text);
        for (std::int32_t i = 0; i < a.idCount; i++) {
            const d88::SectorId& id = a.ids[i];
            std::fprintf(out_, "%s %u/%u/%u/%u", i == 0 ? "" : ",", id.c, id.h, id.r, id.n);
        }
        std::fputs(a.count > a.idCount ? ", ...)\n" : ")\n", out_);
    } else if (a.slot < 0) {
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

void TextReport::Fit(const FitFacts& fit) {
    if (extract::EntriesWithin(extract::Layout9, fit.bytesRead) == 0) {
        std::fprintf(out_, "  directory cannot be read: %d of 2560 bytes; fits neither\n",
                     fit.bytesRead);
        return;
    }
    std::fprintf(out_, "  directory fits %s: 11-byte entries ", FitName(fit.verdict));
    PrintEvidence(out_, fit.ext8);
    std::fputs("; 9-byte entries ", out_);
    PrintEvidence(out_, fit.ext6);
    std::fputc('\n', out_);
}

void TextReport::Entry(const DirectoryLine& line) {
    const extract::DirectoryEntry& e = *line.entry;
    std::fputs("    ", out_);
    Name(e.name, 12);
    if (line.prediction == Prediction::Skipped) {
        std::fputs(" skipped\n", out_);
        return;
    }
    std::fprintf(out_, " first sector %u, sectors %u: ", e.firstSector, e.sectorCount);
    if (line.prediction == Prediction::Short) {
        std::fprintf(out_, "short: %d of %d bytes", line.bytesRead, e.size);
    } else {
        std::fputs(PredictionText(line.prediction), out_);
    }
    if (line.prediction != Prediction::Missing) {
        if (line.naming == extract::NameResult::Refused) {
            std::fputs(", not written: no usable file name", out_);
        } else if (line.naming == extract::NameResult::Changed) {
            std::fputs(", written as ", out_);
            Name(line.fileName);
        }
    }
    std::fputc('\n', out_);
    if (line.hashes != nullptr) {
        std::fprintf(out_, "      crc32 %s sha1 %s\n", line.hashes->crc32.c_str(),
                     line.hashes->sha1.c_str());
    }
}

void TextReport::EndImage(std::int32_t anomalies) {
    std::fprintf(out_, "%d %s\n", anomalies, anomalies == 1 ? "anomaly" : "anomalies");
}

void JsonNameFields(std::FILE* out_, const char* key, const char* name) {
    NameUnit units[kMaxNameUnits];
    const std::int32_t count = SplitShiftJis(name, units);
    bool whole = true;
    std::fprintf(out_, "\"%s\":\"", key);
    for (std::int32_t i = 0; i < count; i++) {
        const NameUnit& unit = units[i];
        if (!unit.decoded) {
            whole = false;
            std::fputs("\\ufffd", out_);
        } else if (unit.length == 1 && (unit.bytes[0] == '"' || unit.bytes[0] == '\\')) {
            std::fputc('\\', out_);
            std::fputc(unit.bytes[0], out_);
        } else {
            std::fputs(unit.utf8, out_);
        }
    }
    std::fprintf(out_, "\",\"%s_bytes\":\"", key);
    for (const char* p = name; *p != '\0'; p++) {
        std::fprintf(out_, "%02x", static_cast<unsigned char>(*p));
    }
    std::fprintf(out_, "\",\"%s_decoded\":%s", key, whole ? "true" : "false");
}

void JsonPathFields(std::FILE* out_, const char* key, const char* path) {
    // The path as UTF-8 text: each byte that does not begin a well-formed
    // UTF-8 sequence (overlong forms, surrogates and values past U+10FFFF
    // are not well formed) stands for itself as U+FFFD.
    bool whole = true;
    std::fprintf(out_, "\"%s\":\"", key);
    const auto* p = reinterpret_cast<const unsigned char*>(path);
    while (*p != '\0') {
        const unsigned char b = *p;
        int length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (b < 0x80) {
            length = 1;
        } else if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            if (b == 0xE0) low = 0xA0;
            if (b == 0xED) high = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            if (b == 0xF0) low = 0x90;
            if (b == 0xF4) high = 0x8F;
        }
        bool valid = length > 0;
        for (int k = 1; k < length && valid; k++) {
            const unsigned char next = p[k];
            valid = k == 1 ? next >= low && next <= high : next >= 0x80 && next <= 0xBF;
        }
        if (!valid) {
            whole = false;
            std::fputs("\\ufffd", out_);
            p++;
        } else if (length == 1) {
            if (b == '"' || b == '\\') {
                std::fputc('\\', out_);
                std::fputc(b, out_);
            } else if (b < 0x20 || b == 0x7F) {
                std::fprintf(out_, "\\u%04x", b);
            } else {
                std::fputc(b, out_);
            }
            p++;
        } else {
            std::fwrite(p, 1, static_cast<std::size_t>(length), out_);
            p += length;
        }
    }
    std::fprintf(out_, "\",\"%s_bytes\":\"", key);
    for (const char* q = path; *q != '\0'; q++) {
        std::fprintf(out_, "%02x", static_cast<unsigned char>(*q));
    }
    std::fprintf(out_, "\",\"%s_decoded\":%s", key, whole ? "true" : "false");
}

void JsonReport::NameFields(const char* key, const char* name) { JsonNameFields(out_, key, name); }

void JsonReport::PathFields(const char* key, const char* path) { JsonPathFields(out_, key, path); }

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

void JsonReport::Hashes(const DigestSet& h) {
    std::fprintf(out_, "\"hashes\":{\"crc32\":\"%s\",\"md5\":\"%s\",\"sha1\":\"%s\",\"sha256\":\"%s\"}",
                 h.crc32.c_str(), h.md5.c_str(), h.sha1.c_str(), h.sha256.c_str());
}

void JsonReport::BeginImage(const char* path, std::int64_t fileSize, const DigestSet* hashes) {
    firstDisk_ = true;
    std::fputs("{", out_);
    PathFields("image", path);
    std::fprintf(out_, ",\"file_size\":%lld,\"looks_like_d88\":%s,", static_cast<long long>(fileSize),
                 notD88_ == nullptr ? "true" : "false");
    if (notD88_ != nullptr) {
        std::fputs("\"not_d88_reason\":", out_);
        String(notD88_);
        std::fputc(',', out_);
        notD88_ = nullptr;
    }
    if (hashes != nullptr) {
        Hashes(*hashes);
        std::fputc(',', out_);
    }
    std::fputs("\"disks\":[", out_);
}

void JsonReport::BeginDisk(const DiskFacts& f) {
    if (!firstDisk_) std::fputc(',', out_);
    firstDisk_ = false;
    std::fprintf(out_, "%s{\"index\":%d,\"offset\":%lld,", Break(), f.index,
                 static_cast<long long>(f.offset));
    if (f.hashes != nullptr) {
        Hashes(*f.hashes);
        std::fprintf(out_, ",\"data_sha1\":\"%s\",", f.dataSha1->c_str());
    }
    NameFields("name", f.name);
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
    std::fprintf(out_, "%s{\"kind\":\"%s\",", compact_ ? "" : "\n ", AnomalyName(a.kind));
    if (a.slot < 0) {
        std::fputs("\"slot\":null,\"cylinder\":null,\"head\":null,", out_);
    } else {
        std::fprintf(out_, "\"slot\":%d,\"cylinder\":%d,\"head\":%d,", a.slot, a.cylinder, a.head);
    }
    if (a.sector < 0) {
        std::fputs("\"sector\":null,", out_);
    } else {
        std::fprintf(out_, "\"sector\":%d,", a.sector);
    }
    std::fprintf(out_, "\"count\":%d,\"ids\":[", a.count);
    for (std::int32_t i = 0; i < a.idCount; i++) {
        const d88::SectorId& id = a.ids[i];
        std::fprintf(out_, "%s[%u,%u,%u,%u]", i == 0 ? "" : ",", id.c, id.h, id.r, id.n);
    }
    std::fputs("],\"text\":", out_);
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
    std::fprintf(out_, "%s{\"slot\":%d,\"cylinder\":%d,\"head\":%d,\"ids\":[",
                 compact_ ? "" : "\n ", slot, slot / 2, slot % 2);
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

void JsonReport::Fit(const FitFacts& fit) {
    CloseSection();
    std::fprintf(out_, ",\"directory_bytes_read\":%d,\"fits\":\"%s\",\"fit_evidence\":{\"d88ext8\":",
                 fit.bytesRead, FitName(fit.verdict));
    JsonEvidence(out_, fit.ext8);
    std::fputs(",\"d88ext6\":", out_);
    JsonEvidence(out_, fit.ext6);
    std::fputc('}', out_);
}

void JsonReport::Entry(const DirectoryLine& line) {
    const extract::DirectoryEntry& e = *line.entry;
    if (!firstItem_) std::fputc(',', out_);
    firstItem_ = false;
    std::fprintf(out_, "%s{\"index\":%d,", compact_ ? "" : "\n ", line.index);
    NameFields("name", e.name);
    std::fprintf(out_, ",\"status\":\"%s\"", PredictionText(line.prediction));
    if (line.prediction != Prediction::Skipped) {
        std::fprintf(out_, ",\"first_sector\":%u,\"sectors\":%u,\"size\":%d,\"bytes_read\":%d",
                     e.firstSector, e.sectorCount, e.size, line.bytesRead);
        if (line.fileName != nullptr) {
            std::fputc(',', out_);
            NameFields("file", line.fileName);
        } else {
            std::fputs(",\"file\":null", out_);
        }
        if (line.hashes != nullptr) {
            std::fputc(',', out_);
            Hashes(*line.hashes);
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
    std::fprintf(out_, "%s],\"anomaly_count\":%d}\n", Break(), anomalies);
}

}  // namespace info
