// A fresh temporary folder per test, removed with everything in it.
#ifndef TESTS_TEMP_DIR_H
#define TESTS_TEMP_DIR_H

#include <filesystem>
#include <string>

namespace testimg {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

}  // namespace testimg

#endif
