// What d88ext is given to read, made into a list of images before any is
// extracted: image files, folders searched for images and archives, and
// the images inside archives; each with the folder its files go to.
#ifndef BATCH_INPUTS_H
#define BATCH_INPUTS_H

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace batch {

struct Job {
    std::string display;  // PATH as given or found, or ARCHIVE/MEMBER
    std::string path;     // the image file, or the archive that holds it
    bool inArchive = false;
    std::size_t memberPosition = 0;  // the member's place in the archive, from 1
    std::string folder;   // where its files go: DIR/STEM or DIR/ARCHIVE-STEM/MEMBER-STEM
};

struct Collection {
    std::vector<Job> jobs;
    std::string messages;  // lines for standard error, given before any image is read
    int notRead = 0;       // arguments, folders and members that could not be read
};

// Names with these endings are images or archives (any letter case):
// .d88 .d77 .d68 .d98 .88d; .zip .7z .lzh .lha .rar .tar .tgz .tar.gz.
bool IsImageName(const std::string& name);
bool IsArchiveName(const std::string& name);

Collection Collect(const std::vector<std::string>& arguments, const std::string& outputFolder,
                   bool windowsRules);

// Paths as the programs keep them (UTF-8 on Windows, bytes elsewhere) and
// as the file system library takes them.
std::filesystem::path ToPath(const std::string& text);
std::string FromPath(const std::filesystem::path& path);

}  // namespace batch

#endif
