// d88info: one image per kind of damage, the JSON document, and its
// directory predictions checked against what the extractors really write.
#include <nlohmann/json.hpp>
#include <zlib.h>

#include <algorithm>
#include <functional>
#include <sstream>

#include "program_fixture.h"
#include "samples.h"

using testimg::Bytes;
using testimg::BuildDisk;
using testimg::Disk;
using testimg::Record;
using testimg::RecordAt;
using testimg::RemoveRecord;
using testimg::StandardDisk;
using testimg::WriteDirectory;

namespace {

const std::string kInfo = ProgramPath("D88_TEST_INFO", D88INFO_PATH);

std::vector<std::string> AnomalyLines(const std::string& out) {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("  anomaly: ", 0) == 0) lines.push_back(line.substr(11));
    }
    return lines;
}

std::string Format(const char* format, std::uint64_t a, std::uint64_t b = 0) {
    char text[200];
    std::snprintf(text, sizeof text, format, static_cast<unsigned long long>(a),
                  static_cast<unsigned long long>(b));
    return text;
}

class InfoTest : public ProgramTest {
protected:
    testimg::RunResult Info(const std::vector<std::string>& options, const Bytes& image,
                            const testimg::RunOptions& run = {}) {
        const std::string path = root.File("info.d88");
        EXPECT_TRUE(testimg::WriteFile(path, image));
        std::vector<std::string> args = options;
        args.push_back(path);
        return testimg::RunProgram(kInfo, args, work, run);
    }
};

}  // namespace

TEST_F(InfoTest, ACleanImageHasNoAnomaly) {
    Disk disk = StandardDisk(4, "CLEAN");
    disk.media = 0x20;
    disk.writeProtect = 0x10;
    const Bytes image = BuildDisk(disk);
    const auto result = Info({}, image);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out,
              "image " + root.File("info.d88") + ": " + std::to_string(image.size()) + " bytes\n" +
                  "disk 0 \"CLEAN\" at offset 0\n"
                  "  media 0x20 (2HD), write protect 0x10 (protected), size field " +
                  std::to_string(image.size()) + ", " + std::to_string(image.size()) +
                  " bytes present\n"
                  "  4 of 164 track slots hold a track; most hold 9 sectors of 512 bytes\n"
                  // No directory was written: the area holds sector data.
                  "  directory fits neither: 11-byte entries give 232 entries (128 names "
                  "unreadable), 0 files found, 0 whole; 9-byte entries give 39 entries (19 names "
                  "unreadable), 0 files found, 0 whole\n"
                  "0 anomalies\n");
}

TEST_F(InfoTest, EachKindOfDamageGivesItsLine) {
    const Disk clean = StandardDisk(4);
    const auto size = static_cast<std::uint32_t>(BuildDisk(clean).size());
    struct Case {
        const char* what;
        std::function<void(Disk&)> damage;
        std::size_t cut;  // bytes taken off the end of the image
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"track past the disk", [&](Disk& d) { d.tableOverride[2] = size + 100; }, 0,
         {Format("slot 2 (C1 H0): track table entry %llu lies past the disk (size field %llu)",
                 size + 100, size)}},
        {"track entry of 2^31", [](Disk& d) { d.tableOverride[3] = 0x80000000u; d.sizeOverride = 0xFFFFFFF0u; }, 0,
         {Format("disk: the size field says %llu bytes, the file holds %llu of them", 0xFFFFFFF0u, size),
          Format("slot 3 (C1 H1): track table entry %llu lies past the disk (size field %llu)",
                 0x80000000u, 0xFFFFFFF0u)}},
        {"track past the file", [](Disk& d) { d.tableOverride[5] = 0x000F0000u; d.sizeOverride = 0x00100000u; }, 0,
         {Format("disk: the size field says %llu bytes, the file holds %llu of them", 0x00100000u, size),
          Format("slot 5 (C2 H1): track table entry %llu lies past the end of the file", 0x000F0000u)}},
        {"sector counts disagree", [](Disk& d) { RecordAt(d, 1, 5).count = 8; }, 0,
         {"slot 1 (C0 H1): records disagree on the sector count (9 in the first, 8 in record 5)"}},
        {"wrong C", [](Disk& d) { RecordAt(d, 2, 3).c = 5; }, 0,
         {"slot 2 (C1 H0) sector 3: has the ID C5 H0; the slot implies C1 H0"}},
        {"wrong H", [](Disk& d) { RecordAt(d, 0, 9).h = 1; }, 0,
         {"slot 0 (C0 H0) sector 9: has the ID C0 H1; the slot implies C0 H0"}},
        {"duplicate ID",
         [](Disk& d) {
             Record copy = RecordAt(d, 1, 4);
             auto& recs = d.tracks[1].records;
             recs.push_back(copy);
             for (Record& rec : recs) rec.count = 10;
         },
         0, {"slot 1 (C0 H1) sector 4: appears 2 times with the ID 0/1/4/2; the first is used"}},
        {"missing sector", [](Disk& d) { RemoveRecord(d, 3, 7); }, 0,
         {"slot 3 (C1 H1) sector 7: missing"}},
        {"short data", [](Disk& d) { RecordAt(d, 1, 2).data.resize(256); }, 0,
         {"slot 1 (C0 H1) sector 2: holds 256 of 512 bytes"}},
        {"size code", [](Disk& d) { RecordAt(d, 1, 8).n = 3; }, 0,
         {"slot 1 (C0 H1) sector 8: has size code 3; most sectors have 2",
          "slot 1 (C0 H1) sector 8: holds 512 of 1024 bytes"}},
        {"cut by the file", [](Disk&) {}, 100,
         {Format("disk: the size field says %llu bytes, the file holds %llu of them", size, size - 100),
          "slot 3 (C1 H1) sector 9: is cut by the end of the file: 412 of 512 bytes present"}},
        {"controller status", [](Disk& d) { RecordAt(d, 2, 5).status = 0xB0; }, 0,
         {"slot 2 (C1 H0) sector 5: has controller status 0xB0 (data CRC error)"}},
        {"deleted-data mark", [](Disk& d) { RecordAt(d, 2, 6).deleted = 0x10; }, 0,
         {"slot 2 (C1 H0) sector 6: carries the deleted-data mark (0x10)"}},
        {"no record", [](Disk& d) { RecordAt(d, 2, 1).count = 0; }, 0,
         {"slot 2 (C1 H0): no sector record can be read"}},
        {"size field below a header", [](Disk& d) { d.sizeOverride = 100; d.tableOverride = {{0, 688}}; }, 0,
         {"disk: the size field 100 is smaller than a disk header; no later disk can be found",
          "slot 0 (C0 H0): track table entry 688 lies past the disk (size field 100)"}},
    };
    for (const Case& k : cases) {
        Disk disk = clean;
        k.damage(disk);
        Bytes image = BuildDisk(disk);
        image.resize(image.size() - k.cut);
        if (std::string(k.what) == "size field below a header") {
            // Only slot 0 is in the table; the others are gone with the rest.
            for (int slot = 1; slot < 4; slot++) {
                for (int i = 0; i < 4; i++) image[static_cast<std::size_t>(0x20 + 4 * slot + i)] = 0;
            }
        }
        const auto result = Info({}, image);
        EXPECT_EQ(result.status, 2) << k.what;
        EXPECT_EQ(AnomalyLines(result.out), k.lines) << k.what;
        const std::string last = std::to_string(k.lines.size()) +
                                 (k.lines.size() == 1 ? " anomaly\n" : " anomalies\n");
        EXPECT_EQ(result.out.substr(result.out.size() - last.size()), last) << k.what;
    }
}

TEST_F(InfoTest, UsageHelpAndOpenFailure) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"--dir"}, {"--dir", "10", "x.d88"}, {"--bogus", "x.d88"}, {"--hashes"}}) {
        const auto result = testimg::RunProgram(kInfo, args, work);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err,
                  "Usage: d88info [--dir 11|9] [--tracks] [--json] [--hashes] IMAGE...\n"
                  "       d88info --dir 11|9 --manifest sha256|sha1|md5 IMAGE\n"
                  "       d88info --dat IMAGE...\n"
                  "       d88info [--dir 11|9] [--json] --duplicates IMAGE...\n");
    }
    const auto help = testimg::RunProgram(kInfo, {"--help"}, work);
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: d88info", 0), 0u);
    const auto missing = testimg::RunProgram(kInfo, {root.File("none.d88")}, work);
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err,
              "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x83\x49\x81\x5B\x83\x76\x83\x93"
              "\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\n");
}

TEST_F(InfoTest, JsonDocumentParsesAndHoldsTheFacts) {
    Bytes image = testimg::Sample8();
    const auto result = Info({"--json", "--tracks", "--dir", "11"}, image);
    EXPECT_EQ(result.status, 2);
    const auto doc = nlohmann::json::parse(result.out);
    EXPECT_EQ(doc["file_size"], image.size());
    EXPECT_EQ(doc["anomaly_count"], 1);
    ASSERT_EQ(doc["disks"].size(), 2u);
    const auto& second = doc["disks"][1];
    EXPECT_EQ(second["name"], "SAMPLE8 DISK2");
    EXPECT_EQ(second["media_meaning"], "2D");
    EXPECT_EQ(second["sectors_per_track"], 9);
    EXPECT_EQ(second["sector_size"], 512);
    ASSERT_EQ(second["anomalies"].size(), 1u);
    EXPECT_EQ(second["anomalies"][0]["kind"], "missing-sector");
    EXPECT_EQ(second["anomalies"][0]["slot"], 3);
    EXPECT_EQ(second["anomalies"][0]["cylinder"], 1);
    EXPECT_EQ(second["anomalies"][0]["head"], 1);
    EXPECT_EQ(second["anomalies"][0]["sector"], 6);
    ASSERT_EQ(second["tracks"].size(), 8u);
    EXPECT_EQ(second["tracks"][3]["ids"].size(), 8u);
    EXPECT_EQ(second["tracks"][0]["ids"][0], (nlohmann::json{0, 0, 1, 2}));
    const auto& entries = second["directory"]["entries"];
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[1]["name"], "PART");
    EXPECT_EQ(entries[1]["status"], "short");
    EXPECT_EQ(entries[1]["bytes_read"], 1024);
    EXPECT_EQ(entries[2]["file"], "BIN_OBJ");
    EXPECT_EQ(entries[3]["status"], "missing");
    EXPECT_TRUE(entries[3]["file"].is_null());

    EXPECT_EQ(second["fits"], "d88ext8");
    EXPECT_EQ(second["fit_evidence"]["d88ext8"],
              (nlohmann::json{{"entries", 4}, {"unreadable_names", 0}, {"skipped", 0},
                              {"files_found", 3}, {"files_whole", 2}}));
}

// Names are Shift_JIS: JSON gives each decoded, with its bytes beside it and
// whether it decoded whole; a byte that does not decode is U+FFFD, never a
// character the bytes do not mean.
TEST_F(InfoTest, JsonNamesAreDecodedFromShiftJis) {
    Disk disk = StandardDisk(4, "\xB6\x01\"\x93\xFA");
    WriteDirectory(disk, 9, {{"\xB6\xDE\xD1", 10, 1}, {"A\x81", 11, 1}, {"X\\\"", 12, 1}});
    const auto result = Info({"--json", "--dir", "9"}, BuildDisk(disk));
    const auto doc = nlohmann::json::parse(result.out);
    const auto& d = doc["disks"][0];
    EXPECT_EQ(d["name"], "\xEF\xBD\xB6\xEF\xBF\xBD\"\xE6\x97\xA5");  // ｶ, U+FFFD, ", 日
    EXPECT_EQ(d["name_bytes"], "b6012293fa");
    EXPECT_EQ(d["name_decoded"], false);
    const auto& entries = d["directory"]["entries"];
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0]["name"], "\xEF\xBD\xB6\xEF\xBE\x9E\xEF\xBE\x91");  // ｶﾞﾑ
    EXPECT_EQ(entries[0]["name_bytes"], "b6ded1");
    EXPECT_EQ(entries[0]["name_decoded"], true);
    EXPECT_EQ(entries[0]["file"], "\xEF\xBD\xB6\xEF\xBE\x9E\xEF\xBE\x91");
    EXPECT_EQ(entries[0]["file_bytes"], "b6ded1");
    // A lead byte cut by the end of the name.
    EXPECT_EQ(entries[1]["name"], "A\xEF\xBF\xBD");
    EXPECT_EQ(entries[1]["name_bytes"], "4181");
    EXPECT_EQ(entries[1]["name_decoded"], false);
    EXPECT_EQ(entries[2]["name"], "X\\\"");
    EXPECT_EQ(entries[2]["name_decoded"], true);
}

// The text report decodes names when the locale's codeset is UTF-8 and pads
// them by display columns (a half-width kana takes one, a double-byte
// character two); elsewhere it escapes every byte outside printable ASCII.
TEST_F(InfoTest, TextNamesAreDecodedForAUtf8Terminal) {
    Disk disk = StandardDisk(4, "\x93\xFA\x96\x7B");
    WriteDirectory(disk, 9, {{"\xB6\xDE\xD1", 10, 1}, {"\x93\xFA\x96\x7B", 11, 1}, {"A\x01", 12, 1}});
    const std::string path = root.File("names.d88");
    ASSERT_TRUE(testimg::WriteFile(path, BuildDisk(disk)));
    const auto directoryLines = [](const std::string& out) {
        std::string lines;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("    ", 0) == 0 || line.rfind("disk ", 0) == 0) lines += line + "\n";
        }
        return lines;
    };
    // On Windows, redirected output is escaped whatever the locale, and the
    // Windows name rules rewrite the control byte.
    const std::string escaped = "disk 0 \"\\x93\\xFA\\x96{\" at offset 0\n"
                                "    \"\\xB6\\xDE\\xD1\" first sector 10, sectors 1: ok\n"
                                "    \"\\x93\\xFA\\x96{\" first sector 11, sectors 1: ok\n"
                                "    \"A\\x01\"      first sector 12, sectors 1: ok" +
                                std::string(OnWindows() ? ", written as \"A_\"\n" : "\n");
    testimg::RunOptions utf8;
    utf8.environment = {"LC_ALL=C.UTF-8"};
    EXPECT_EQ(directoryLines(testimg::RunProgram(kInfo, {"--dir", "9", path}, work, utf8).out),
              OnWindows() ? escaped
                          : "disk 0 \"\xE6\x97\xA5\xE6\x9C\xAC\" at offset 0\n"
                            "    \"\xEF\xBD\xB6\xEF\xBE\x9E\xEF\xBE\x91\"        first sector 10, sectors 1: ok\n"
                            "    \"\xE6\x97\xA5\xE6\x9C\xAC\"       first sector 11, sectors 1: ok\n"
                            "    \"A\\x01\"      first sector 12, sectors 1: ok\n");
    testimg::RunOptions plain;
    plain.environment = {"LC_ALL=C"};
    EXPECT_EQ(directoryLines(testimg::RunProgram(kInfo, {"--dir", "9", path}, work, plain).out),
              escaped);
}

// Which program a disk needs, from its directory read both ways.
TEST_F(InfoTest, EachDiskSaysWhichProgramItFits) {
    const std::vector<testimg::Entry> files = {
        {"README", 10, 2}, {"COMMAND", 12, 2}, {"GAME", 14, 6}, {"DATA", 20, 1}, {"MORE", 21, 3}};
    struct Case {
        const char* what;
        std::function<void(Disk&)> make;
        const char* fits;
    };
    const std::vector<Case> cases = {
        {"11-byte directory", [&](Disk& d) { WriteDirectory(d, 11, files); }, "d88ext8"},
        {"9-byte directory", [&](Disk& d) { WriteDirectory(d, 9, files); }, "d88ext6"},
        {"9-byte, files damaged",
         [&](Disk& d) {
             WriteDirectory(d, 9, files);
             RemoveRecord(d, 1, 7);  // GAME's fourth sector
             RemoveRecord(d, 2, 3);  // DATA's only sector
         },
         "d88ext6"},
        {"11-byte, files damaged",
         [&](Disk& d) {
             WriteDirectory(d, 11, files);
             RemoveRecord(d, 1, 2);  // README's first sector
             RecordAt(d, 1, 7).data.resize(100);
         },
         "d88ext8"},
        {"empty, 0xFF", [](Disk& d) { WriteDirectory(d, 11, {}); }, "either"},
        {"empty, zero bytes", [](Disk& d) { WriteDirectory(d, 11, {}, {}, 0x00); }, "either"},
        {"random bytes",
         [](Disk& d) {
             std::uint32_t x = 12345;
             Bytes noise(2560);
             for (std::uint8_t& b : noise) {
                 x = x * 1103515245u + 12345u;
                 b = static_cast<std::uint8_t>(x >> 24);
             }
             testimg::PutDirectoryBytes(d, 0, noise);
         },
         "neither"},
        {"no first track", [](Disk& d) { d.tracks.erase(0); }, "neither"},
    };
    for (const Case& c : cases) {
        Disk disk = StandardDisk(6);
        c.make(disk);
        const auto result = Info({"--json"}, BuildDisk(disk));
        const auto doc = nlohmann::json::parse(result.out);
        EXPECT_EQ(doc["disks"][0]["fits"], c.fits) << c.what << "\n" << doc["disks"][0]["fit_evidence"];
    }

    // The text line gives the evidence; an unreadable directory says so.
    Disk disk = StandardDisk(6);
    WriteDirectory(disk, 9, files);
    EXPECT_THAT(Info({}, BuildDisk(disk)).out,
                ::testing::HasSubstr("  directory fits d88ext6: 11-byte entries give 2 entries "
                                     "(2 names unreadable), 0 files found, 0 whole; 9-byte entries "
                                     "give 5 entries, 4 files found, 4 whole\n"));
    disk.tracks.erase(0);
    EXPECT_THAT(Info({}, BuildDisk(disk)).out,
                ::testing::HasSubstr("  directory cannot be read: 0 of 2560 bytes; fits neither\n"));
}

// What --dir predicts for each entry is what the extractor then writes: a
// whole file for "ok", a full-size file with a warning for "short", nothing
// for "missing" and "skipped".
TEST_F(InfoTest, DirectoryPredictionsMatchTheExtractors) {
    std::vector<std::pair<const char*, std::function<void(Disk&)>>> damages = {
        {"clean", [](Disk&) {}},
        {"missing mid-file", [](Disk& d) { RemoveRecord(d, 2, 3); }},
        {"missing first sector", [](Disk& d) { RemoveRecord(d, 1, 1); }},
        {"short record", [](Disk& d) { RecordAt(d, 2, 1).data.resize(10); }},
        {"wrong ID", [](Disk& d) { RecordAt(d, 3, 2).h = 0; }},
        {"size code", [](Disk& d) { RecordAt(d, 1, 5).n = 1; }},
        {"no slot 3", [](Disk& d) { d.tracks.erase(3); }},
        {"directory sector missing", [](Disk& d) { RemoveRecord(d, 0, 4); }},
        {"duplicate with other data",
         [](Disk& d) {
             Record copy = RecordAt(d, 2, 2);
             copy.data.assign(512, 0xDD);
             d.tracks[2].records.insert(d.tracks[2].records.begin(), copy);
         }},
    };
    std::map<std::string, int> seen;
    for (const Flavour* flavour : {&kExt8, &kExt6}) {
        for (const auto& [what, damage] : damages) {
            Disk disk = StandardDisk(5);
            WriteDirectory(disk, flavour->entrySize,
                           {{"ONE", 9, 2},
                            {"TWO", 17, 4},
                            {"THREE", 27, 9},
                            {"COMX", 10, 1},
                            {"A/B", 12, 1},
                            {"ZERO", 30, 0},
                            {"FAR", 2000, 3},
                            {"..", 11, 1}});
            damage(disk);
            const Bytes image = BuildDisk(disk);
            const auto info = Info({"--json", "--dir", flavour->entrySize == 11 ? "11" : "9"}, image);
            const auto doc = nlohmann::json::parse(info.out);
            FreshWork();
            const auto run = Run(*flavour, image);
            const auto files = Files();
            std::size_t predictedFiles = 0;
            for (const auto& entry : doc["disks"][0]["directory"]["entries"]) {
                const std::string name = entry["name"];
                const std::string status = entry["status"];
                seen[status]++;
                SCOPED_TRACE(std::string(flavour->program) + " " + what + " " + name + " " + status);
                if (status == "skipped") {
                    EXPECT_NE(run.out.find(name + " \t\tis skipped."), std::string::npos);
                    continue;
                }
                const bool warned = run.err.find("\"" + name + "\": sectors missing") != std::string::npos;
                EXPECT_EQ(warned, status == "short");
                if (entry["file"].is_null()) {
                    EXPECT_TRUE(status == "missing" || name == "..");
                    continue;
                }
                predictedFiles++;
                const std::string file = entry["file"];
                ASSERT_EQ(files.count(file), 1u);
                EXPECT_EQ(files.at(file).size(), entry["size"].get<std::size_t>());
                if (status == "ok") {
                    EXPECT_EQ(entry["bytes_read"], entry["size"]);
                }
            }
            EXPECT_EQ(files.size(), predictedFiles) << flavour->program << " " << what;
        }
    }
    // The damages lead to every prediction there is.
    for (const char* status : {"ok", "short", "missing", "skipped"}) EXPECT_GT(seen[status], 0) << status;
}

// Anomalies of one kind on one track are told once, with their count and
// the first three IDs; anomaly_count counts every occurrence. Slots that all
// point at one track (a crafted image) give one line each, not one a record.
TEST_F(InfoTest, AnomaliesOfOneKindOnATrackAreToldOnce) {
    Disk disk = StandardDisk(4);
    const Bytes built = BuildDisk(disk);
    // Slot 1's entry in the track table, which starts at 0x20.
    const std::uint32_t shared = static_cast<std::uint32_t>(
        built[0x24] | built[0x25] << 8 | built[0x26] << 16 | built[0x27] << 24);
    for (int slot = 2; slot < 164; slot++) disk.tableOverride[slot] = shared;
    RecordAt(disk, 0, 3).c = 5;
    RecordAt(disk, 0, 4).c = 5;
    const auto result = Info({}, BuildDisk(disk));
    EXPECT_EQ(result.status, 2);
    const auto lines = AnomalyLines(result.out);
    ASSERT_EQ(lines.size(), 163u);
    EXPECT_EQ(lines[0], "slot 0 (C0 H0): 2 records: have IDs whose C/H differ from the slot's C0 H0"
                        " (IDs 5/0/3/2, 5/0/4/2)");
    EXPECT_EQ(lines[1], "slot 2 (C1 H0): 9 records: have IDs whose C/H differ from the slot's C1 H0"
                        " (IDs 0/1/1/2, 0/1/2/2, 0/1/3/2, ...)");
    EXPECT_EQ(lines[162], "slot 163 (C81 H1): 9 records: have IDs whose C/H differ from the"
                          " slot's C81 H1 (IDs 0/1/1/2, 0/1/2/2, 0/1/3/2, ...)");
    EXPECT_THAT(result.out, ::testing::EndsWith("\n1460 anomalies\n"));

    const auto doc = nlohmann::json::parse(Info({"--json"}, BuildDisk(disk)).out);
    EXPECT_EQ(doc["anomaly_count"], 1460);
    const auto& anomalies = doc["disks"][0]["anomalies"];
    ASSERT_EQ(anomalies.size(), 163u);
    EXPECT_EQ(anomalies[1]["kind"], "wrong-id");
    EXPECT_EQ(anomalies[1]["count"], 9);
    EXPECT_TRUE(anomalies[1]["sector"].is_null());
    EXPECT_EQ(anomalies[1]["ids"], (nlohmann::json{{0, 1, 1, 2}, {0, 1, 2, 2}, {0, 1, 3, 2}}));
}

// A 65th disk is not read: one anomaly on disk 63 says so.
TEST_F(InfoTest, DisksPastTheSixtyFourthAreAnAnomaly) {
    std::vector<Disk> disks(65, StandardDisk(1));
    const Bytes image = testimg::BuildImage(disks);
    const std::size_t one = image.size() / 65;
    const auto result = Info({}, image);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(AnomalyLines(result.out),
              (std::vector<std::string>{"disk: the image holds more than 64 disks; the 65th (offset " +
                                        std::to_string(64 * one) + ") and later are not read"}));
    const auto doc = nlohmann::json::parse(Info({"--json"}, image).out);
    ASSERT_EQ(doc["disks"].size(), 64u);
    EXPECT_EQ(doc["disks"][63]["anomalies"][0]["kind"], "too-many-disks");
}

// A track that states exactly 1,024 records and has them is whole; one that
// states more is cut at 1,024, and said to be.
TEST_F(InfoTest, OnlyATrackLongerThanTheBoundIsSaidToBeCut) {
    for (const int records : {1024, 1025}) {
        Disk disk;
        Record record;
        record.data.resize(512);
        disk.tracks[0].records.assign(static_cast<std::size_t>(records), record);
        const auto lines = AnomalyLines(Info({}, BuildDisk(disk)).out);
        const bool cut = std::find(lines.begin(), lines.end(),
                                   "slot 0 (C0 H0): the track states more than 1024 records; the "
                                   "rest are not read") != lines.end();
        EXPECT_EQ(cut, records > 1024) << records;
    }
}

// A directory area of spaces is an empty directory for d88ext8 (which lists
// nothing), not 284 entries for d88ext6: it fits either.
TEST_F(InfoTest, ADirectoryOfSpacesFitsEither) {
    Disk disk = StandardDisk(4);
    WriteDirectory(disk, 11, {}, {}, 0x20);
    const auto result = Info({}, BuildDisk(disk));
    EXPECT_EQ(result.status, 0);
    EXPECT_THAT(result.out, ::testing::HasSubstr("  directory fits either: 11-byte entries give 0"
                                                 " entries, 0 files found, 0 whole; 9-byte entries"
                                                 " give 0 entries, 0 files found, 0 whole\n"));
    const auto extracted = Run(kExt8, disk);
    EXPECT_EQ(extracted.status, 0);
    EXPECT_EQ(extracted.out, "");
    EXPECT_EQ(extracted.err, "");
}

// The image's path in JSON as its name fields are: the path read as UTF-8
// (U+FFFD for a byte that is not), its bytes, and whether it decoded. A
// kana path opens on every Windows, not only a Japanese one.
TEST_F(InfoTest, TheImagePathIsGivenAsUtf8AndAsBytes) {
    struct Case {
        std::string name;
        std::string shown;  // the path's name as "image" gives it
        bool decoded;
    };
    std::vector<Case> cases = {{"\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0.d88",  // ゲーム
                                "\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0.d88", true}};
    // A byte that is not UTF-8, or a quote, cannot be in a file name on
    // Windows.
    if (!OnWindows()) {
        cases.push_back({"\xE3\x82\xB2\xFF\".d88", "\xE3\x82\xB2\xEF\xBF\xBD\".d88", false});
    }
    for (const Case& c : cases) {
        const std::string path = root.File(c.name);
        ASSERT_TRUE(testimg::WriteFile(path, BuildDisk(StandardDisk(4))));
        const auto result = testimg::RunProgram(kInfo, {"--json", path}, work);
        EXPECT_EQ(result.status, 0) << c.shown;
        const auto doc = nlohmann::json::parse(result.out);
        EXPECT_EQ(doc["image"], root.path().string() + "/" + c.shown);
        EXPECT_EQ(doc["image_decoded"], c.decoded);
        std::string hex;
        for (char ch : path) hex += Format("%02llx", static_cast<unsigned char>(ch));
        EXPECT_EQ(doc["image_bytes"], hex);
    }
}

// Without a code page 932 converter (its modules missing: iconv_open fails),
// ASCII names still decode, the rest show as bytes, and d88info says so once.
TEST_F(InfoTest, WithoutAConverterAsciiNamesStillDecode) {
    if (OnWindows()) GTEST_SKIP() << "iconv";
    Disk disk = StandardDisk(4, "PLAIN");
    WriteDirectory(disk, 11, {{"GAME", 10, 1}, {"\xB6\xDE\xD1", 11, 1}});
    testimg::RunOptions run;
    run.environment = {"LD_PRELOAD=" D88_SYSTEM_SHIM, "ASAN_OPTIONS=verify_asan_link_order=0",
                       "D88_TEST_NO_ICONV=1"};
    const auto result = Info({"--json", "--dir", "11"}, BuildDisk(disk), run);
    EXPECT_EQ(result.err,
              "d88info: no code page 932 converter (iconv CP932); non-ASCII names are shown as "
              "bytes\n");
    const auto doc = nlohmann::json::parse(result.out);
    const auto& d = doc["disks"][0];
    EXPECT_EQ(d["name"], "PLAIN");
    EXPECT_EQ(d["directory"]["entries"][0]["name"], "GAME");
    EXPECT_EQ(d["directory"]["entries"][1]["name_decoded"], false);
    EXPECT_EQ(d["directory"]["entries"][1]["name_bytes"], "b6ded1");
}

// "--" ends the options, for an image whose name begins with "-"; a report
// that cannot be written is a failure, status 1.
TEST_F(InfoTest, DoubleDashAndUnwritableOutput) {
    ASSERT_TRUE(testimg::WriteFile((work / "-x.d88").string(), BuildDisk(StandardDisk(4))));
    const auto dashed = testimg::RunProgram(kInfo, {"--", "-x.d88"}, work);
    EXPECT_EQ(dashed.status, 0);
    EXPECT_THAT(dashed.out, ::testing::StartsWith("image -x.d88: "));
    if (OnWindows()) return;
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--json", "--tracks", "--", "-x.d88"}, {"--help"}}) {
        testimg::RunOptions run;
        run.outputPath = "/dev/full";
        const auto full = testimg::RunProgram(kInfo, args, work, run);
        EXPECT_EQ(full.status, 1) << args[0];
        EXPECT_EQ(full.err, "d88info: standard output: write error: No space left on device\n")
            << args[0];
    }
}

namespace {

// What a coreutils checksum tool (sha1sum, sha256sum, md5sum) says of a
// file: its digest.
// Run here, not as the programs under test are (under Wine, say).
std::string ToolDigest(const std::string& tool, const std::string& path) {
    std::FILE* pipe = popen((tool + " '" + path + "'").c_str(), "r");
    if (pipe == nullptr) return "";
    char line[256] = {};
    const bool got = std::fgets(line, sizeof line, pipe) != nullptr;
    pclose(pipe);
    const std::string text = got ? line : "";
    return text.substr(0, text.find(' '));
}

std::string Crc32(const Bytes& bytes) {
    return Format("%08llx", crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
}

// The checksum tools' digests of `bytes`, as d88info gives them.
nlohmann::json ToolHashes(const Bytes& bytes) {
    testimg::TempDir folder;
    const std::string path = folder.File("bytes");
    EXPECT_TRUE(testimg::WriteFile(path, bytes));
    return {{"crc32", Crc32(bytes)},
            {"md5", ToolDigest("md5sum", path)},
            {"sha1", ToolDigest("sha1sum", path)},
            {"sha256", ToolDigest("sha256sum", path)}};
}

// A disk saved as some tools save it: a 672-byte header (the track table
// ends at slot 160), each offset 16 bytes lower.
Bytes WithShortHeader(const Bytes& disk) {
    Bytes out = disk;
    out.erase(out.begin() + 672, out.begin() + 688);
    auto patch = [&](std::size_t at, std::uint32_t value) {
        for (std::size_t i = 0; i < 4; i++) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    auto read = [&](std::size_t at) {
        return static_cast<std::uint32_t>(out[at] | out[at + 1] << 8 | out[at + 2] << 16 |
                                          out[at + 3] << 24);
    };
    patch(0x1C, read(0x1C) - 16);
    for (std::size_t slot = 0; slot < 160; slot++) {
        const std::uint32_t entry = read(0x20 + 4 * slot);
        if (entry != 0) patch(0x20 + 4 * slot, entry - 16);
    }
    return out;
}

}  // namespace

// --hashes: the four digests of the image file, of each disk as stored and
// of each file as d88ext8 writes it (zeros where sectors are missing) are
// those the coreutils tools and zlib give of the same bytes.
TEST_F(InfoTest, HashesAreThoseOfTheSameBytesEverywhere) {
    const Bytes image = testimg::Sample8();
    const auto result = Info({"--json", "--hashes", "--dir", "11"}, image);
    ASSERT_EQ(result.status, 2);
    const auto doc = nlohmann::json::parse(result.out);
    EXPECT_EQ(doc["hashes"], ToolHashes(image));
    std::size_t offset = 0;
    for (const auto& disk : doc["disks"]) {
        const std::size_t size = disk["size_field"];
        EXPECT_EQ(disk["hashes"], ToolHashes(Bytes(image.begin() + static_cast<std::ptrdiff_t>(offset),
                                                   image.begin() + static_cast<std::ptrdiff_t>(offset + size))));
        EXPECT_EQ(disk["data_sha1"].get<std::string>().size(), 40u);
        offset += size;
    }
    // Each file d88ext8 writes, against its entry's hashes (the later disk's
    // DATA is the one left, as d88ext8 leaves it).
    const auto extracted = Run(kExt8, image);
    ASSERT_EQ(extracted.status, 0);
    std::map<std::string, nlohmann::json> byFile;
    for (const auto& disk : doc["disks"]) {
        for (const auto& entry : disk["directory"]["entries"]) {
            if (entry.contains("hashes") && !entry["file"].is_null()) {
                byFile[entry["file_bytes"].get<std::string>()] = entry["hashes"];
            }
        }
    }
    const auto files = Files();
    ASSERT_EQ(byFile.size(), files.size());
    for (const auto& [name, bytes] : files) {
        std::string hex;
        for (char c : name) hex += Format("%02llx", static_cast<unsigned char>(c));
        EXPECT_EQ(byFile.at(hex), ToolHashes(bytes)) << name;
    }
    // The text report: crc32 and sha1 under each image, disk and file.
    const auto text = Info({"--hashes", "--dir", "11"}, image);
    EXPECT_THAT(text.out, ::testing::HasSubstr("  crc32 " + Crc32(image) + " sha1 " +
                                               ToolHashes(image)["sha1"].get<std::string>() + "\n"));
}

// data_sha1 is the same for one disk saved with another name, write-protect
// byte and a 672-byte header, and differs when one sector byte does; the
// short header gives no anomaly from the slots it has no room for.
TEST_F(InfoTest, DataSha1IgnoresTheHeader) {
    Disk disk = StandardDisk(4, "FIRST");
    const Bytes first = BuildDisk(disk);
    disk.name = "SECOND DUMP";
    disk.writeProtect = 0x10;
    const Bytes second = WithShortHeader(BuildDisk(disk));
    RecordAt(disk, 2, 5).data[100] ^= 1;
    const Bytes changed = BuildDisk(disk);
    auto dataSha1 = [&](const Bytes& image) {
        const auto result = Info({"--json", "--hashes"}, image);
        EXPECT_EQ(result.status, 0) << result.out;
        return nlohmann::json::parse(result.out)["disks"][0]["data_sha1"].get<std::string>();
    };
    const std::string one = dataSha1(first);
    EXPECT_EQ(dataSha1(second), one);
    EXPECT_NE(dataSha1(changed), one);
    // The whole-disk hashes do differ.
    EXPECT_NE(ToolHashes(first)["sha1"], ToolHashes(second)["sha1"]);
}

// Several images: the text report of each in turn; in JSON one compact
// object per image per line, in the order given; an image that cannot be
// opened gives no line, its message, and status 1, the rest reported.
TEST_F(InfoTest, SeveralImagesGiveJsonLines) {
    const std::string a = root.File("a.d88");
    const std::string b = root.File("b.d88");
    const std::string missing = root.File("missing.d88");
    ASSERT_TRUE(testimg::WriteFile(a, BuildDisk(StandardDisk(4, "AAA"))));
    ASSERT_TRUE(testimg::WriteFile(b, testimg::Sample8()));
    const auto result = testimg::RunProgram(kInfo, {"--json", "--hashes", a, missing, b}, work);
    EXPECT_EQ(result.status, 1);
    EXPECT_THAT(result.err, ::testing::HasSubstr("d88info: " + missing + ": cannot be opened\n"));
    std::istringstream lines(result.out);
    std::vector<nlohmann::json> docs;
    for (std::string line; std::getline(lines, line);) docs.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(docs.size(), 2u);
    EXPECT_EQ(docs[0]["image"], a);
    EXPECT_EQ(docs[0]["disks"][0]["name"], "AAA");
    EXPECT_EQ(docs[1]["image"], b);
    EXPECT_EQ(docs[1]["disks"].size(), 2u);
    // Without the missing one: 2, for the sample's anomaly.
    const auto text = testimg::RunProgram(kInfo, {a, b}, work);
    EXPECT_EQ(text.status, 2);
    EXPECT_THAT(text.out, ::testing::StartsWith("image " + a + ": "));
    EXPECT_THAT(text.out, ::testing::HasSubstr("\nimage " + b + ": "));
}

// --manifest: after d88ext8 in a folder, `sha256sum -c` (and sha1sum, md5sum)
// accept the manifest, kana names and names with "\" or a line feed
// (escaped as the tools escape them) among them.
TEST_F(InfoTest, AManifestIsWhatTheChecksumToolsCheck) {
    if (OnWindows()) GTEST_SKIP() << "POSIX names and the coreutils tools";
    Disk disk = StandardDisk(4);
    WriteDirectory(disk, 11,
                   {{"\xB6\xDE\xD1", 10, 1}, {"A\\B", 11, 1}, {"L\nF", 12, 1}, {"DUP", 13, 1},
                    {"GONE", 40, 1}, {"..", 14, 1}, {"DUP", 15, 2}});
    const Bytes image = BuildDisk(disk);
    ASSERT_EQ(Run(kExt8, image).status, 2);  // ".." is not written
    for (const std::string tool : {"sha256", "sha1", "md5"}) {
        const auto result = Info({"--dir", "11", "--manifest", tool}, image);
        EXPECT_EQ(result.status, 0);
        const std::string path = root.File("manifest." + tool);
        ASSERT_TRUE(testimg::WriteFile(path, Bytes(result.out.begin(), result.out.end())));
        // Four files: the last DUP is the one left.
        EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 4) << result.out;
        EXPECT_THAT(result.out, ::testing::HasSubstr("\\"));
        const std::string command = "cd '" + work.string() + "' && " + tool + "sum -c --strict '" +
                                    path + "' > /dev/null 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << result.out;
    }
    // A changed file is caught.
    ASSERT_TRUE(testimg::WriteFile((work / "DUP").string(), Bytes{'x'}));
    const std::string command = "cd '" + work.string() + "' && sha256sum -c --quiet '" +
                                root.File("manifest.sha256") + "' > /dev/null 2>&1";
    EXPECT_NE(std::system(command.c_str()), 0);
    // Wrong combinations are usage errors.
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--manifest", "sha256"}, {"--dir", "11", "--manifest", "crc"},
             {"--dir", "11", "--manifest", "md5", "--dat"}, {"--json", "--dat"}}) {
        EXPECT_EQ(Info(args, image).status, 1) << args[0];
    }
}

// --dat: a Logiqx XML DAT that xmllint finds valid against the DTD's
// declarations for datafile, header, game, description and rom; one game per
// image, named as d88ext names its folder, holding the image as its rom.
TEST_F(InfoTest, ADatIsValidLogiqxXml) {
    const std::string dtd = root.File("datafile.dtd");
    const std::string declarations =
        "<!ELEMENT datafile (header?, game*)>\n"
        "<!ATTLIST datafile build CDATA #IMPLIED>\n"
        "<!ATTLIST datafile debug (yes|no) \"no\">\n"
        "<!ELEMENT header (name, description, category?, version, date?, author, email?, "
        "homepage?, url?, comment?)>\n"
        "<!ELEMENT name (#PCDATA)>\n<!ELEMENT description (#PCDATA)>\n"
        "<!ELEMENT category (#PCDATA)>\n<!ELEMENT version (#PCDATA)>\n"
        "<!ELEMENT date (#PCDATA)>\n<!ELEMENT author (#PCDATA)>\n<!ELEMENT email (#PCDATA)>\n"
        "<!ELEMENT homepage (#PCDATA)>\n<!ELEMENT url (#PCDATA)>\n<!ELEMENT comment (#PCDATA)>\n"
        "<!ELEMENT game (comment*, description, year?, manufacturer?, rom*)>\n"
        "<!ATTLIST game name CDATA #REQUIRED>\n<!ATTLIST game sourcefile CDATA #IMPLIED>\n"
        "<!ATTLIST game isbios (yes|no) \"no\">\n<!ATTLIST game cloneof CDATA #IMPLIED>\n"
        "<!ATTLIST game romof CDATA #IMPLIED>\n<!ATTLIST game sampleof CDATA #IMPLIED>\n"
        "<!ATTLIST game board CDATA #IMPLIED>\n<!ATTLIST game rebuildto CDATA #IMPLIED>\n"
        "<!ELEMENT year (#PCDATA)>\n<!ELEMENT manufacturer (#PCDATA)>\n"
        "<!ELEMENT rom EMPTY>\n<!ATTLIST rom name CDATA #REQUIRED>\n"
        "<!ATTLIST rom size CDATA #REQUIRED>\n<!ATTLIST rom crc CDATA #IMPLIED>\n"
        "<!ATTLIST rom sha1 CDATA #IMPLIED>\n<!ATTLIST rom md5 CDATA #IMPLIED>\n"
        "<!ATTLIST rom merge CDATA #IMPLIED>\n"
        "<!ATTLIST rom status (baddump|nodump|good|verified) \"good\">\n"
        "<!ATTLIST rom date CDATA #IMPLIED>\n";
    ASSERT_TRUE(testimg::WriteFile(dtd, Bytes(declarations.begin(), declarations.end())));
    const Bytes one = testimg::Sample8();
    // A name in Shift_JIS (ｶﾞﾑ & Co.d88) and two images of one stem.
    const std::string a = root.File("\xB6\xDE\xD1 & <Co>.d88");
    const std::string b = root.File("GAME.d88");
    std::filesystem::create_directory(root.path() / "other");
    const std::string c = (root.path() / "other" / "GAME.d88").string();
    for (const std::string& path : {a, b, c}) ASSERT_TRUE(testimg::WriteFile(path, one));
    if (OnWindows()) GTEST_SKIP() << "a Shift_JIS file name";
    const auto result = testimg::RunProgram(kInfo, {"--dat", a, b, c}, work);
    EXPECT_EQ(result.status, 2);  // the sample's anomaly
    const std::string dat = root.File("set.dat");
    ASSERT_TRUE(testimg::WriteFile(dat, Bytes(result.out.begin(), result.out.end())));
    const std::string command =
        "xmllint --noout --nonet --dtdvalid '" + dtd + "' '" + dat + "' 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string complaints;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) complaints += line;
    EXPECT_EQ(pclose(pipe), 0) << complaints;
    EXPECT_EQ(complaints, "");
    const std::string stem = "\xEF\xBD\xB6\xEF\xBE\x9E\xEF\xBE\x91 &amp; &lt;Co&gt;";
    EXPECT_THAT(result.out, ::testing::HasSubstr("<game name=\"" + stem + "\">\n\t\t<description>" +
                                                 stem + "</description>\n\t\t<rom name=\"" + stem +
                                                 ".d88\" size=\"" + std::to_string(one.size()) +
                                                 "\" crc=\"" + Crc32(one) + "\" md5=\""));
    EXPECT_THAT(result.out, ::testing::HasSubstr("<game name=\"GAME\">"));
    EXPECT_THAT(result.out, ::testing::HasSubstr("<game name=\"GAME (2)\">"));
}

// --duplicates across three images: the disks with one data_sha1 (one dump
// saved with another header among them) and the files with one SHA-1;
// groups of one are left out.
TEST_F(InfoTest, DuplicatesAreFoundAcrossImages) {
    Disk disk = StandardDisk(4, "ORIGINAL");
    WriteDirectory(disk, 11, {{"SAME", 10, 1}, {"ALSO", 10, 1}, {"ALONE", 11, 1}});
    const Bytes first = BuildDisk(disk);
    disk.name = "REDUMP";
    const Bytes second = WithShortHeader(BuildDisk(disk));
    Disk other = StandardDisk(4, "OTHER");
    WriteDirectory(other, 11, {{"COPY", 10, 1}});
    RecordAt(other, 2, 1).data[0] ^= 1;
    const Bytes third = BuildDisk(other);
    const std::string a = root.File("a.d88");
    const std::string b = root.File("b.d88");
    const std::string c = root.File("c.d88");
    ASSERT_TRUE(testimg::WriteFile(a, first));
    ASSERT_TRUE(testimg::WriteFile(b, second));
    ASSERT_TRUE(testimg::WriteFile(c, third));
    const auto result =
        testimg::RunProgram(kInfo, {"--json", "--dir", "11", "--duplicates", a, b, c}, work);
    EXPECT_EQ(result.status, 0);
    const auto doc = nlohmann::json::parse(result.out);
    ASSERT_EQ(doc["disk_groups"].size(), 1u);
    const auto& disks = doc["disk_groups"][0]["disks"];
    ASSERT_EQ(disks.size(), 2u);
    EXPECT_EQ(disks[0]["image"], a);
    EXPECT_EQ(disks[0]["name"], "ORIGINAL");
    EXPECT_EQ(disks[1]["image"], b);
    EXPECT_EQ(disks[1]["name"], "REDUMP");
    // SAME and ALSO on both a and b, COPY on c: one group of five; ALONE
    // on a and b: a group of two.
    ASSERT_EQ(doc["file_groups"].size(), 2u);
    EXPECT_EQ(doc["file_groups"][0]["files"].size(), 5u);
    EXPECT_EQ(doc["file_groups"][0]["files"][4]["name"], "COPY");
    EXPECT_EQ(doc["file_groups"][1]["files"].size(), 2u);
    const auto text = testimg::RunProgram(kInfo, {"--duplicates", a, b, c}, work);
    EXPECT_EQ(text.out, "data_sha1 " + doc["disk_groups"][0]["data_sha1"].get<std::string>() +
                            " disks: " + a +
                            " disk 0 \"ORIGINAL\", " + b + " disk 0 \"REDUMP\"\n");
}

// Files that are not D88 images are called out, with the reason, as the
// report's first line and in JSON; status 2, as for anomalies.
TEST_F(InfoTest, FilesThatAreNotD88ImagesAreCalledOut) {
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    png.resize(4096, 0x42);
    const std::string words = "These are not the disks you are looking for.\n";
    Bytes text;
    while (text.size() < 2000) text.insert(text.end(), words.begin(), words.end());
    Bytes noise(5000);
    std::uint32_t seed = 12345;
    for (std::uint8_t& byte : noise) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(seed >> 24);
    }
    // A header that passes, but every track entry 0.
    Bytes zeros(1 << 20, 0);
    zeros[0x1C] = 0x00;
    zeros[0x1D] = 0x10;  // size field 4096
    struct Case {
        const char* what;
        Bytes bytes;
        std::string reason;
    };
    // The size field is bytes 0x1C-0x1F, little-endian.
    auto tooLarge = [](const Bytes& b) {
        std::uint64_t size = 0;
        for (std::size_t i = 0; i < 4; i++) size |= static_cast<std::uint64_t>(b[0x1C + i]) << (8 * i);
        return Format("the first disk's size field (%llu) is larger than the file (%llu bytes)",
                      size, b.size());
    };
    const std::vector<Case> cases = {
        {"empty", {}, "shorter than one disk header (688 bytes)"},
        {"png", png, tooLarge(png)},
        {"text", text, tooLarge(text)},
        {"noise", noise, ""},
        {"zeros", zeros, "no track slot leads to a readable sector record"},
    };
    for (const Case& k : cases) {
        const auto result = Info({}, k.bytes);
        EXPECT_EQ(result.status, 2) << k.what;
        EXPECT_THAT(result.out, ::testing::StartsWith("not a D88 image: " + k.reason)) << k.what;
        const auto json = Info({"--json"}, k.bytes);
        ASSERT_TRUE(nlohmann::json::accept(json.out))
            << k.what << ": status " << json.status << ", signal " << json.signal << ", stderr "
            << json.err << ", stdout " << json.out;
        const auto doc = nlohmann::json::parse(json.out);
        EXPECT_EQ(doc["looks_like_d88"], false) << k.what;
        EXPECT_THAT(doc["not_d88_reason"].get<std::string>(), ::testing::StartsWith(k.reason))
            << k.what;
    }
    // The media byte alone can tell.
    Disk odd = StandardDisk(4);
    odd.media = 0x77;
    EXPECT_THAT(Info({}, BuildDisk(odd)).out,
                ::testing::StartsWith("not a D88 image: the media byte 0x77 is none of a D88 "
                                      "disk's (0x00, 0x10, 0x20, 0x30, 0x40)\n"));
    const auto real = nlohmann::json::parse(Info({"--json"}, BuildDisk(StandardDisk(4))).out);
    EXPECT_EQ(real["looks_like_d88"], true);
    EXPECT_FALSE(real.contains("not_d88_reason"));
}
