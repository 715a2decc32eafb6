// d88ext: extracts whole collections: image files, folders of them and
// archives, each image into a folder of its own, each disk read with the
// directory layout that fits it.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "extract/file_name.h"
#include "extract/output_file.h"
#include "extract/standard_streams.h"
#include "inputs.h"
#include "run.h"

#include "extract/entry_point.h"

namespace {

constexpr char kDescription[] =
    "Extracts D88 floppy-disk images into folders: each IMAGE into OUTPUT/STEM (its name\n"
    "without the extension), an image of several disks into OUTPUT/STEM/disk0, disk1, ...;\n"
    "a FOLDER is searched for images (.d88 .d77 .d68 .d98 .88d) and archives (.zip .7z\n"
    ".lzh .lha .rar .tar .tgz .tar.gz); an ARCHIVE's images go to\n"
    "OUTPUT/ARCHIVE-STEM/MEMBER-STEM. Each disk is read with the directory layout that\n"
    "fits it: 11-byte entries (d88ext8) or 9-byte entries (d88ext6).\n"
    "\n"
    "Exit status: 0 when every image was read and every file written; 1 for a usage\n"
    "error or when no image could be read; 2 when some image, archive member or file\n"
    "could not be read or written.";

int Run(int argc, char** argv) {
    extract::GuardStandardDescriptors();
    extract::RemovePartialFilesOnInterrupt();
#ifndef _WIN32
    // libarchive gives no name for a member whose name is not ASCII unless
    // the locale's character set is UTF-8.
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) std::setlocale(LC_CTYPE, "");
#endif

    CLI::App app(kDescription, "d88ext");
    app.set_version_flag("--version", "d88ext 1.0");
    // On Windows CLI11 would take "/path" for an option "/name".
    app.allow_windows_style_options(false);
    std::string output = ".";
    std::string layout = "auto";
    const unsigned cores = std::thread::hardware_concurrency();
    int jobs = cores > 0 ? static_cast<int>(cores) : 1;
    bool verbose = false;
    std::vector<std::string> inputs;
    app.add_option("-o,--output", output, "the folder the images' folders go in (made when missing)")
        ->capture_default_str();
    app.add_option("--layout", layout,
                   "auto: each disk as d88info finds it fits; 11 or 9: every disk so")
        ->check(CLI::IsMember({"auto", "11", "9"}))
        ->capture_default_str();
    app.add_option("-j,--jobs", jobs, "images extracted at the same time")
        ->check(CLI::Range(1, 256))
        ->capture_default_str();
    app.add_flag("-v,--verbose", verbose, "list each disk's entries, as d88ext8 and d88ext6 do");
    app.add_option("inputs", inputs, "images, folders and archives")->required();
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return 0;
    } catch (const CLI::CallForVersion& e) {
        std::printf("%s\n", e.what());
        return 0;
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "d88ext: %s\nRun with --help for more information.\n", e.what());
        return 1;
    }

    batch::Collection collection = batch::Collect(inputs, output, extract::kWindowsNames);
    std::fputs(collection.messages.c_str(), stderr);
    if (collection.jobs.empty()) {
        std::fputs("d88ext: no image to read\n", stderr);
        return 1;
    }
    std::error_code error;
    std::filesystem::create_directories(batch::ToPath(output), error);
    if (error) {
        std::fprintf(stderr, "d88ext: cannot make the folder %s: %s\n", output.c_str(),
                     error.message().c_str());
        return 1;
    }

    batch::RunOptions options;
    options.layout = layout == "11"  ? batch::LayoutChoice::Fixed11
                     : layout == "9" ? batch::LayoutChoice::Fixed9
                                     : batch::LayoutChoice::Auto;
    options.jobs = jobs;
    options.verbose = verbose;
    options.listingToTerminal = extract::IsTerminal(stdout);
    options.progress = extract::IsTerminal(stderr) && collection.jobs.size() > 1;
    const batch::RunTotals totals = batch::RunJobs(collection.jobs, options);

    const int notRead = collection.notRead + totals.notRead;
    if (totals.outputError != 0) {
        std::fprintf(stderr, "d88ext: standard output: write error: %s\n",
                     std::strerror(totals.outputError));
    }
    if (notRead > 0 || totals.notWritten > 0) {
        std::string line = "d88ext: ";
        if (notRead > 0) {
            line += std::to_string(notRead) + (notRead == 1 ? " image" : " images") +
                    " could not be read";
        }
        if (totals.notWritten > 0) {
            line += std::string(notRead > 0 ? ", " : "") + std::to_string(totals.notWritten) +
                    (totals.notWritten == 1 ? " file" : " files") + " could not be written";
        }
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    if (totals.imagesRead == 0) return 1;
    if (notRead > 0 || totals.notWritten > 0 || totals.lost || totals.outputError != 0) return 2;
    return 0;
}

}  // namespace

D88_ENTRY_POINT(Run)
