#include "stem.h"

#include "extract/file_name.h"

namespace batch {

std::string BaseName(const std::string& path, bool windowsRules) {
    const std::size_t slash = path.find_last_of(windowsRules ? "/\\" : "/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Stem(const std::string& fileName, bool windowsRules) {
    const std::size_t dot = fileName.rfind('.');
    std::string stem = dot == std::string::npos ? fileName : fileName.substr(0, dot);
    for (char& c : stem) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || (windowsRules && extract::IsWindowsForbidden(byte))) c = '_';
    }
    if (!stem.empty() && stem[0] == '.') stem[0] = '_';
    if (windowsRules && !stem.empty()) {
        if (extract::IsWindowsDevice(stem.c_str())) stem.insert(0, "_");
        if (stem.back() == '.') stem.back() = '_';
    }
    return stem.empty() ? "_" : stem;
}

std::string StemSet::Key(const std::string& name) const {
    if (!foldCase_) return name;
    std::string key = name;
    for (char& c : key) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return key;
}

std::string StemSet::Take(const std::string& stem) {
    std::string name = stem;
    for (int n = 2; used_.count(Key(name)) != 0; n++) name = stem + " (" + std::to_string(n) + ")";
    used_.insert(Key(name));
    return name;
}

}  // namespace batch
