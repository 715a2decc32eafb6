// Scratch files for the fuzz targets, in memory where /dev/shm allows.
#ifndef FUZZ_SCRATCH_H
#define FUZZ_SCRATCH_H

#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace fuzzing {

// Scratch files and folders made by this process, removed when it exits
// (folders emptied first), so that runs leave nothing in /dev/shm.
inline std::vector<std::string>& ScratchPaths() {
    static std::vector<std::string> paths;
    return paths;
}

inline void RemoveScratch() {
    for (const std::string& path : ScratchPaths()) {
        if (DIR* dir = opendir(path.c_str())) {
            while (dirent* item = readdir(dir)) {
                const std::string name = item->d_name;
                if (name != "." && name != "..") unlink((path + "/" + name).c_str());
            }
            closedir(dir);
            rmdir(path.c_str());
        } else {
            unlink(path.c_str());
        }
    }
}

// Records `path` for removal at exit.
inline void RemoveAtExit(const std::string& path) {
    if (ScratchPaths().empty()) std::atexit(RemoveScratch);
    ScratchPaths().push_back(path);
}

inline std::string ScratchBase() {
    return access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
}

// A new empty file named after `stem`.
inline std::string ScratchFile(const char* stem) {
    std::string path = ScratchBase() + "/" + stem + "-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0) std::abort();
    close(fd);
    RemoveAtExit(path);
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
