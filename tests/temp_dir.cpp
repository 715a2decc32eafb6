#include "temp_dir.h"

#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace testimg {

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "d88test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace testimg
