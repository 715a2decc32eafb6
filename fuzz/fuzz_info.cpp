// Drives d88info's inspection on arbitrary bytes: every disk, every track,
// the track listing and the directory in both layouts, both reports.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "info/inspect.h"
#include "info/report.h"
#include "scratch.h"

namespace {

std::string g_image;
std::FILE* g_null = nullptr;
d88::D88Image* g_reader = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_image = fuzzing::ScratchFile("d88fuzz-info");
    g_null = std::fopen("/dev/null", "w");
    if (g_null == nullptr) std::abort();
    g_reader = new d88::D88Image;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::WriteInput(g_image, data, size);
    if (!g_reader->Open(g_image.c_str())) std::abort();
    info::TextReport text(g_null, info::NameStyle::Utf8);
    info::JsonReport json(g_null);
    info::Options eleven;
    eleven.tracks = true;
    eleven.directory = &extract::Layout11;
    info::Options nine;
    nine.directory = &extract::Layout9;
    nine.windowsNames = true;
    text.EndImage(info::Inspect(*g_reader, "image", eleven, text));
    json.EndImage(info::Inspect(*g_reader, "image", nine, json));
    g_reader->Close();
    return 0;
}
