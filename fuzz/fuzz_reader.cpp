// Drives the reader's operations with fuzzed arguments on a fuzzed image.
// The input's first bytes script the calls; the rest is the image. Every
// destination is a heap block of exactly the size passed, so that the
// address sanitizer sees any byte written past it.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "d88/d88image.h"
#include "scratch.h"

namespace {

std::string g_image;
d88::D88Image* g_reader = nullptr;

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_image = fuzzing::ScratchFile("d88fuzz-reader");
    g_reader = new d88::D88Image;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider script(data, size);
    const std::size_t calls = script.ConsumeIntegralInRange<std::size_t>(0, 24);
    std::vector<std::uint8_t> ops = script.ConsumeBytes<std::uint8_t>(calls * 24);
    const std::vector<std::uint8_t> image = script.ConsumeRemainingBytes<std::uint8_t>();

    fuzzing::WriteInput(g_image, image.data(), image.size());

    d88::D88Image& reader = *g_reader;
    Check(reader.Open(g_image.c_str()));
    Check(reader.DiskCount() >= 0 && reader.DiskCount() <= d88::kMaxDisks);
    FuzzedDataProvider args(ops.data(), ops.size());
    while (args.remaining_bytes() > 0) {
        const int op = args.ConsumeIntegralInRange<int>(0, 6);
        const auto slot = args.ConsumeIntegralInRange<std::int32_t>(-2, 170);
        const auto c = args.ConsumeIntegralInRange<std::int32_t>(-1, 260);
        const auto h = args.ConsumeIntegralInRange<std::int32_t>(-1, 2);
        const auto r = args.ConsumeIntegralInRange<std::int32_t>(-1, 260);
        const auto n = args.ConsumeIntegralInRange<std::int32_t>(-2, 30);
        const auto room = args.ConsumeIntegralInRange<std::int32_t>(-4, 70000);
        const std::size_t bytes = room > 0 ? static_cast<std::size_t>(room) : 1;
        std::vector<std::uint8_t> dest(bytes);
        switch (op) {
            case 0: {
                const bool ok = reader.SelectDisk(args.ConsumeIntegralInRange<std::int32_t>(-1, 65));
                Check(ok == (reader.CurrentDisk() >= 0));
                break;
            }
            case 1:
                reader.SetSectorRange(args.ConsumeIntegralInRange<std::int32_t>(-1, 20),
                                      args.ConsumeIntegralInRange<std::int32_t>(-1, 20));
                break;
            case 2: {
                const std::int32_t got = reader.ReadSector(slot, c, h, r, n, dest.data(), room);
                Check(got >= 0 && got <= (room > 0 ? room : 0));
                break;
            }
            case 3: {
                const std::int32_t got = reader.ReadSectors(slot, c, h, r, n, dest.data(), room);
                Check(got >= 0 && got <= (room > 0 ? room : 0));
                break;
            }
            case 4: {
                const std::int32_t got = reader.ReadSectorIds(slot, dest.data(), room);
                Check(got >= 0 && got % 4 == 0 && got <= (room > 0 ? room : 0));
                break;
            }
            case 5:
                reader.Close();
                Check(reader.ReadSector(0, 0, 0, 1, 2, dest.data(), 0) == 0);
                reader.Open(g_image.c_str());
                break;
            default:
                Check(reader.MediaType() >= -1 && reader.MediaType() <= 255);
                break;
        }
    }
    reader.Close();
    return 0;
}
