// Scratch files for the fuzz targets, in memory where /dev/shm allows.
#ifndef FUZZ_SCRATCH_H
#define FUZZ_SCRATCH_H

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzzing {

inline std::string ScratchBase() {
    return access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
}

// A new empty file named after `stem`.
inline std::string ScratchFile(const char* stem) {
    std::string path = ScratchBase() + "/" + stem + "-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0) std::abort();
    close(fd);
    return path;
}

// Replaces the contents of `path` with the fuzzer's input.
inline void WriteInput(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
}

}  // namespace fuzzing

#endif
