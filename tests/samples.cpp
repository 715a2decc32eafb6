#include "samples.h"

#include <string>

namespace testimg {

namespace {

// Text padded with the end-of-file byte 0x1A to whole sectors, as files of
// these systems are stored.
Bytes Text(const std::string& text, int sectors) {
    Bytes out(static_cast<std::size_t>(sectors) * 512, 0x1A);
    std::copy(text.begin(), text.end(), out.begin());
    return out;
}

Bytes Program(int sectors, int seed) {
    Bytes out(static_cast<std::size_t>(sectors) * 512);
    for (std::size_t i = 0; i < out.size(); i++) {
        out[i] = static_cast<std::uint8_t>((i * 13 + static_cast<std::size_t>(seed) * 101 + (i >> 9)) & 0xFF);
    }
    return out;
}

}  // namespace

Bytes Sample8() {
    Disk first = StandardDisk(8, "SAMPLE8 DISK1");
    WriteDirectory(first, 11,
                   {
                       {"README", 10, 2},   // a text file on slot 1
                       {"COMMAND", 12, 3},  // skipped by name
                       {"GAME", 14, 6},     // runs from slot 1 into slot 2
                       {"DATA", 25, 1},
                       {"EMPTY", 26, 0},    // no sectors: listed, no file
                   });
    PutFileData(first, 10, Text("Sample disk for d88ext8.\r\nThis file spans two sectors.\r\n", 2));
    PutFileData(first, 14, Program(6, 1));
    PutFileData(first, 25, Text("DATA from disk 1\r\n", 1));

    Disk second = StandardDisk(8, "SAMPLE8 DISK2");
    WriteDirectory(second, 11,
                   {
                       {"DATA", 20, 1},     // replaces disk 1's DATA
                       {"PART", 30, 4},     // one sector of it is missing
                       {"BIN/OBJ", 40, 2},  // written as BIN_OBJ
                       {"FAR", 1500, 1},    // beyond the last track: no file
                   });
    PutFileData(second, 20, Text("DATA from disk 2\r\n", 1));
    PutFileData(second, 30, Program(4, 2));
    RemoveRecord(second, 32 / 9, 32 % 9 + 1);
    PutFileData(second, 40, Program(2, 3));
    return BuildImage({first, second});
}

Bytes Sample6() {
    Disk disk = StandardDisk(6, "SAMPLE6");
    WriteDirectory(disk, 9,
                   {
                       {"HELLO", 10, 1},
                       {std::string("\0UNUSE", 6), 11, 1},  // first byte 0x00: passed over
                       {"COM", 12, 1},                      // skipped by name
                       {"\xB6\xDE\xD1", 13, 2},             // half-width kana "GAMU"
                       {"LONGER", 20, 9},                   // crosses into slot 3
                   });
    PutFileData(disk, 10, Text("Hello from d88ext6.\r\n", 1));
    PutFileData(disk, 13, Program(2, 4));
    PutFileData(disk, 20, Program(9, 5));
    return BuildImage({disk});
}

}  // namespace testimg
