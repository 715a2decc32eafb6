// The folder names d88ext makes of image and archive names.
#ifndef BATCH_STEM_H
#define BATCH_STEM_H

#include <set>
#include <string>

namespace batch {

// The folder name made of a file name (no folders in it): the name up to
// its last "." (the whole name when it has none), with "/" made "_", and,
// with the Windows rules, each of < > : " \ | ? * and bytes 0x01-0x1F; then
// a leading "." made "_"; with the Windows rules, a device name gets a "_"
// in front and a trailing "." becomes "_"; "_" when nothing is left. These
// are the name rules of the extractors' files, for names of any length.
std::string Stem(const std::string& fileName, bool windowsRules);

// The base name of a path: what follows its last "/" (or "\" on Windows).
std::string BaseName(const std::string& path, bool windowsRules);

// Folder names given out in one folder: the first of a stem keeps it, later
// ones get " (2)", " (3)", ... so that no two images share a folder. With
// the Windows rules, names that differ in letter case alone are the same.
class StemSet {
public:
    explicit StemSet(bool foldCase) : foldCase_(foldCase) {}
    std::string Take(const std::string& stem);

private:
    std::string Key(const std::string& name) const;
    bool foldCase_;
    std::set<std::string> used_;
};

}  // namespace batch

#endif
