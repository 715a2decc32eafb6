// The programs' own code for the web page, compiled to WebAssembly: the page
// puts the image at /image.d88 in Emscripten's in-memory file system and
// calls these; their output lands in files there, which the page reads.
#include <emscripten/emscripten.h>

#include <cstdio>
#include <unistd.h>

#include "d88/d88image.h"
#include "extract/directory.h"
#include "extract/extractor.h"
#include "info/inspect.h"
#include "info/report.h"

namespace {

constexpr char kImage[] = "/image.d88";

d88::D88Image InfoImage;

const extract::DirectoryLayout* LayoutFor(int entrySize) {
    if (entrySize == 11) return &extract::Layout11;
    if (entrySize == 9) return &extract::Layout9;
    return nullptr;
}

}  // namespace

extern "C" {

// d88ext8 (entrySize 11) or d88ext6 (9) on the image, with /out as the
// working folder: the listing goes to /stdout, the warnings to /stderr.
// Returns the exit status. Names in /out are the entries' file names as
// bytes in hexadecimal (see output_file.cpp).
EMSCRIPTEN_KEEPALIVE int d88_extract(int entrySize) {
    const extract::DirectoryLayout* layout = LayoutFor(entrySize);
    if (layout == nullptr || chdir("/out") != 0) return 1;
    char name8[] = "d88ext8";
    char name6[] = "d88ext6";
    char image[sizeof kImage];
    std::snprintf(image, sizeof image, "%s", kImage);
    char* argv[] = {entrySize == 11 ? name8 : name6, image, nullptr};
    const extract::ProgramConfig config{argv[0], *layout, false, false};
    std::FILE* out = std::fopen("/stdout", "wb");
    std::FILE* err = std::fopen("/stderr", "wb");
    int status = 1;
    if (out != nullptr && err != nullptr) status = extract::RunProgram(2, argv, config, out, err);
    if (out != nullptr) std::fclose(out);
    if (err != nullptr) std::fclose(err);
    chdir("/");
    return status;
}

// d88info on the image, reading each directory with `entrySize` (11, 9, or
// 0 for none): the text report (names decoded to UTF-8) goes to
// /report.txt, the JSON document to /report.json. Returns d88info's exit
// status: 0, 2 when anomalies were found, 1 when the image cannot be opened.
EMSCRIPTEN_KEEPALIVE int d88_inspect(int entrySize) {
    if (!InfoImage.Open(kImage)) return 1;
    info::Options options;
    options.directory = LayoutFor(entrySize);
    options.windowsNames = false;
    std::int32_t anomalies = 0;
    if (std::FILE* text = std::fopen("/report.txt", "wb")) {
        info::TextReport report(text, info::NameStyle::Utf8);
        anomalies = info::Inspect(InfoImage, "image.d88", options, report);
        report.EndImage(anomalies);
        std::fclose(text);
    }
    if (std::FILE* json = std::fopen("/report.json", "wb")) {
        info::JsonReport report(json);
        report.EndImage(info::Inspect(InfoImage, "image.d88", options, report));
        std::fclose(json);
    }
    InfoImage.Close();
    return anomalies > 0 ? 2 : 0;
}

}
