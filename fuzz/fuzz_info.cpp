// Drives d88info's inspection on arbitrary bytes: every disk, every track,
// the track listing and the directory in both layouts, both reports.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "info/inspect.h"
#include "info/report.h"

namespace {

std::string g_image;
std::FILE* g_null = nullptr;
d88::D88Image* g_reader = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string path = std::string(base) + "/d88fuzz-info-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0) std::abort();
    close(fd);
    g_image = path;
    g_null = std::fopen("/dev/null", "w");
    if (g_null == nullptr) std::abort();
    g_reader = new d88::D88Image;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(g_image.c_str(), "wb");
    if (f == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
    if (!g_reader->Open(g_image.c_str())) std::abort();
    info::TextReport text(g_null);
    info::JsonReport json(g_null);
    info::Options eleven;
    eleven.tracks = true;
    eleven.directory = &extract::Layout11;
    info::Options nine;
    nine.directory = &extract::Layout9;
    nine.windowsNames = true;
    text.BeginImage("image", g_reader->FileSize());
    text.EndImage(info::Inspect(*g_reader, eleven, text));
    json.BeginImage("image", g_reader->FileSize());
    json.EndImage(info::Inspect(*g_reader, nine, json));
    g_reader->Close();
    return 0;
}
