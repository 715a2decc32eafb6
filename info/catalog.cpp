#include "catalog.h"

#include "batch/stem.h"
#include "report.h"
#include "shift_jis.h"

namespace info {

namespace {

// A file name as UTF-8 text: as it is when it is UTF-8 already, else read
// as code page 932, with U+FFFD for what does not decode.
std::string Utf8Name(const std::string& name) {
    std::string text;
    std::size_t at = 0;
    bool utf8 = true;
    while (at < name.size() && utf8) {
        const auto b = static_cast<unsigned char>(name[at]);
        std::size_t length = b < 0x80 ? 1 : b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3
                                        : b >= 0xF0 && b <= 0xF4   ? 4 : 0;
        if (length == 0 || at + length > name.size()) {
            utf8 = false;
            break;
        }
        for (std::size_t k = 1; k < length; k++) {
            const auto next = static_cast<unsigned char>(name[at + k]);
            if (next < 0x80 || next > 0xBF) utf8 = false;
        }
        at += length;
    }
    if (utf8) return name;
    // Decoded a piece at a time: the decoder takes at most kMaxNameUnits
    // bytes; a lead byte cut at a piece's end starts the next piece.
    for (at = 0; at < name.size();) {
        char piece[kMaxNameUnits + 1] = {};
        const std::size_t take = std::min<std::size_t>(kMaxNameUnits, name.size() - at);
        name.copy(piece, take, at);
        NameUnit units[kMaxNameUnits];
        const std::int32_t count = SplitShiftJis(piece, units);
        std::size_t used = 0;
        for (std::int32_t i = 0; i < count; i++) {
            const bool last = i == count - 1 && at + take < name.size();
            if (last && !units[i].decoded && units[i].length == 1 && take > 1) break;
            text += units[i].decoded ? units[i].utf8 : "\xEF\xBF\xBD";
            used += static_cast<std::size_t>(units[i].length);
        }
        // A 0x00 byte ends the decoder's string: it stands for itself.
        if (used == 0) {
            text += "\xEF\xBF\xBD";
            used = 1;
        }
        at += used;
    }
    return text;
}

std::string Xml(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default:
                // Control characters are not allowed in XML 1.0.
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') {
                    out += "\xEF\xBF\xBD";
                } else {
                    out += c;
                }
        }
    }
    return out;
}

}  // namespace

void CatalogReport::BeginImage(const char* path, std::int64_t fileSize, const DigestSet* hashes) {
    image_.path = path;
    image_.fileSize = fileSize;
    if (hashes != nullptr) image_.hashes = *hashes;
}

void CatalogReport::BeginDisk(const DiskFacts& facts) {
    disk_ = facts.index;
    image_.disks.push_back({facts.index, facts.name, facts.dataSha1 != nullptr ? *facts.dataSha1 : ""});
}

void CatalogReport::Entry(const DirectoryLine& line) {
    if (line.hashes == nullptr) return;
    image_.files.push_back({disk_, line.entry->name,
                            line.fileName != nullptr ? line.fileName : "", *line.hashes});
}

void WriteManifest(std::FILE* out, const CatalogImage& image, const std::string& algorithm) {
    // The last entry of each name is the file left in the folder; listed in
    // the order the names first appear.
    std::vector<std::string> order;
    std::map<std::string, const DigestSet*> last;
    for (const CatalogImage::File& file : image.files) {
        if (file.fileName.empty()) continue;
        if (last.count(file.fileName) == 0) order.push_back(file.fileName);
        last[file.fileName] = &file.hashes;
    }
    for (const std::string& name : order) {
        const DigestSet& h = *last.at(name);
        const std::string& hash = algorithm == "md5" ? h.md5 : algorithm == "sha1" ? h.sha1 : h.sha256;
        std::string shown;
        bool escaped = false;
        for (const char c : name) {
            if (c == '\\') {
                shown += "\\\\";
                escaped = true;
            } else if (c == '\n') {
                shown += "\\n";
                escaped = true;
            } else if (c == '\r') {
                shown += "\\r";
                escaped = true;
            } else {
                shown += c;
            }
        }
        std::fprintf(out, "%s%s  %s\n", escaped ? "\\" : "", hash.c_str(), shown.c_str());
    }
}

void WriteDat(std::FILE* out, const std::vector<CatalogImage>& images, bool windowsRules) {
    // No DOCTYPE: a reader would fetch the DTD from the network to use it;
    // the managers read DATs without one.
    std::fputs("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<datafile>\n"
               "\t<header>\n"
               "\t\t<name>d88info</name>\n"
               "\t\t<description>D88 floppy-disk images</description>\n"
               "\t\t<version>1.0</version>\n"
               "\t\t<author>d88info</author>\n"
               "\t</header>\n",
               out);
    batch::StemSet stems(windowsRules);
    for (const CatalogImage& image : images) {
        const std::string file = batch::BaseName(image.path, windowsRules);
        const std::string stem = Xml(Utf8Name(stems.Take(batch::Stem(file, windowsRules))));
        std::fprintf(out, "\t<game name=\"%s\">\n\t\t<description>%s</description>\n", stem.c_str(),
                     stem.c_str());
        std::fprintf(out, "\t\t<rom name=\"%s\" size=\"%lld\" crc=\"%s\" md5=\"%s\" sha1=\"%s\"/>\n",
                     Xml(Utf8Name(file)).c_str(), static_cast<long long>(image.fileSize),
                     image.hashes.crc32.c_str(), image.hashes.md5.c_str(),
                     image.hashes.sha1.c_str());
        std::fputs("\t</game>\n", out);
    }
    std::fputs("</datafile>\n", out);
}

void WriteDuplicates(std::FILE* out, const std::vector<CatalogImage>& images, bool json) {
    struct Place {
        const CatalogImage* image;
        std::int32_t disk;
        const std::string* name;
    };
    // Groups in the order their first member appears.
    auto group = [](std::vector<std::string>& order, std::map<std::string, std::vector<Place>>& by,
                    const std::string& key, Place place) {
        if (key.empty()) return;
        if (by.count(key) == 0) order.push_back(key);
        by[key].push_back(place);
    };
    std::vector<std::string> diskOrder;
    std::vector<std::string> fileOrder;
    std::map<std::string, std::vector<Place>> disks;
    std::map<std::string, std::vector<Place>> files;
    for (const CatalogImage& image : images) {
        for (const CatalogImage::Disk& disk : image.disks) {
            group(diskOrder, disks, disk.dataSha1, {&image, disk.index, &disk.name});
        }
        for (const CatalogImage::File& file : image.files) {
            group(fileOrder, files, file.hashes.sha1, {&image, file.disk, &file.entryName});
        }
    }
    auto write = [&](const char* what, const char* key, const char* members,
                     const std::vector<std::string>& order,
                     const std::map<std::string, std::vector<Place>>& by, bool first) {
        if (json) std::fprintf(out, "%s\"%s\":[", first ? "{" : ",", what);
        bool firstGroup = true;
        for (const std::string& hash : order) {
            const std::vector<Place>& places = by.at(hash);
            if (places.size() < 2) continue;
            if (json) {
                std::fprintf(out, "%s{\"%s\":\"%s\",\"%s\":[", firstGroup ? "" : ",", key,
                             hash.c_str(), members);
                for (std::size_t i = 0; i < places.size(); i++) {
                    std::fputs(i == 0 ? "{" : ",{", out);
                    JsonPathFields(out, "image", places[i].image->path.c_str());
                    std::fprintf(out, ",\"disk\":%d,", places[i].disk);
                    JsonNameFields(out, "name", places[i].name->c_str());
                    std::fputc('}', out);
                }
                std::fputs("]}", out);
            } else {
                std::fprintf(out, "%s %s %s:", key, hash.c_str(), members);
                for (std::size_t i = 0; i < places.size(); i++) {
                    std::fprintf(out, "%s %s disk %d \"%s\"", i == 0 ? "" : ",",
                                 places[i].image->path.c_str(), places[i].disk,
                                 Utf8Name(*places[i].name).c_str());
                }
                std::fputc('\n', out);
            }
            firstGroup = false;
        }
        if (json) std::fputc(']', out);
    };
    write("disk_groups", "data_sha1", "disks", diskOrder, disks, true);
    write("file_groups", "sha1", "files", fileOrder, files, false);
    if (json) std::fputs("}\n", out);
}

}  // namespace info
