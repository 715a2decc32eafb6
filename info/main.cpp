// d88info: tells what is in a D88 image and what is damaged, disk by disk.
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <langinfo.h>
#endif

#include "d88/d88image.h"
#include "extract/messages.h"
#include "extract/standard_streams.h"
#include "inspect.h"
#include "report.h"
#include "catalog.h"
#include "digest.h"
#include "shift_jis.h"

#include "extract/entry_point.h"

namespace {

constexpr char kUsage[] =
    "Usage: d88info [--dir 11|9] [--tracks] [--json] [--hashes] IMAGE...\n"
    "       d88info --dir 11|9 --manifest sha256|sha1|md5 IMAGE\n"
    "       d88info --dat IMAGE...\n"
    "       d88info [--dir 11|9] [--json] --duplicates IMAGE...\n";

constexpr char kHelp[] =
    "Usage: d88info [--dir 11|9] [--tracks] [--json] [--hashes] IMAGE...\n"
    "       d88info --dir 11|9 --manifest sha256|sha1|md5 IMAGE\n"
    "       d88info --dat IMAGE...\n"
    "       d88info [--dir 11|9] [--json] --duplicates IMAGE...\n"
    "Tells what each disk of a D88 image holds and what is damaged, and which\n"
    "program reads its directory: d88ext8 (11-byte entries), d88ext6 (9-byte\n"
    "entries), either, or neither. A layout reads well when some entries with\n"
    "readable names are skipped or have their data found, and at least half of\n"
    "its names are readable Shift_JIS; of two that read well, the one with\n"
    "more such entries fits.\n"
    "\n"
    "  --dir 11    read each disk's directory with d88ext8's 11-byte entries\n"
    "  --dir 9     read each disk's directory with d88ext6's 9-byte entries\n"
    "              and tell for each entry what the extractor will write:\n"
    "              ok, short (with the bytes read) or missing\n"
    "  --tracks    list every track's sector IDs (C/H/R/N) in storage order\n"
    "  --json      print the same facts as one JSON document; names are given\n"
    "              decoded from Shift_JIS (KEY), as hexadecimal bytes\n"
    "              (KEY_bytes) and whether they decoded whole (KEY_decoded);\n"
    "              with several images, one JSON object per image per line\n"
    "  --hashes    CRC32, MD5, SHA-1 and SHA-256 of the image file, of each\n"
    "              disk as stored and (with --dir) of each file as the\n"
    "              extractor writes it; and each disk's data_sha1, over its\n"
    "              sector records alone, the same for two dumps of one disk\n"
    "              whatever their headers say\n"
    "  --manifest ALGORITHM\n"
    "              instead of the report, the files the extractor leaves, in\n"
    "              the format of sha256sum, sha1sum or md5sum (for -c)\n"
    "  --dat       instead of the report, a Logiqx XML DAT of the images\n"
    "  --duplicates\n"
    "              instead of the report, the groups of disks with the same\n"
    "              data_sha1 and (with --dir) of files with the same SHA-1\n"
    "  --help      print this help\n"
    "  --          end of options: what follows is the image (-x.d88)\n"
    "\n"
    "Exit status: 1 for a usage error, or when some image cannot be opened (the\n"
    "others are reported), or the report cannot be written; else 2 when\n"
    "anomalies were found; else 0.\n";

d88::D88Image Image;

// Names decoded where standard output expects UTF-8 (the locale's codeset);
// on a Windows console as their bytes, which a console on code page 932
// shows as the characters; escaped everywhere else.
info::NameStyle TextNameStyle() {
#ifdef _WIN32
    return _isatty(_fileno(stdout)) ? info::NameStyle::Bytes : info::NameStyle::Escaped;
#else
    if (std::setlocale(LC_CTYPE, "") == nullptr) return info::NameStyle::Escaped;
    const char* codeset = nl_langinfo(CODESET);
    const bool utf8 = std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0;
    // Everything else keeps the C locale's behaviour.
    std::setlocale(LC_CTYPE, "C");
    return utf8 ? info::NameStyle::Utf8 : info::NameStyle::Escaped;
#endif
}

// Standard output checked when the run ends: a report that did not arrive
// whole (a full disk, a closed descriptor) is a failure, status 1.
int Finish(int status) {
    extract::OutputCheck check(stdout);
    if (const int error = check.Finish(true)) {
        std::fprintf(stderr, "d88info: standard output: write error: %s\n", std::strerror(error));
        return 1;
    }
    return status;
}

int Run(int argc, char** argv) {
    extract::GuardStandardDescriptors();
    info::Options options;
    bool json = false;
    bool optionsEnded = false;
    std::vector<const char*> paths;
    std::string manifest;
    bool dat = false;
    bool duplicates = false;
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (optionsEnded || arg[0] != '-') {
            paths.push_back(arg);
        } else if (std::strcmp(arg, "--") == 0) {
            optionsEnded = true;
        } else if (std::strcmp(arg, "--help") == 0) {
            std::fputs(kHelp, stdout);
            return Finish(0);
        } else if (std::strcmp(arg, "--tracks") == 0) {
            options.tracks = true;
        } else if (std::strcmp(arg, "--json") == 0) {
            json = true;
        } else if (std::strcmp(arg, "--hashes") == 0) {
            options.digests = info::MakeDigester;
        } else if (std::strcmp(arg, "--manifest") == 0 && i + 1 < argc &&
                   (std::strcmp(argv[i + 1], "sha256") == 0 ||
                    std::strcmp(argv[i + 1], "sha1") == 0 || std::strcmp(argv[i + 1], "md5") == 0)) {
            manifest = argv[++i];
        } else if (std::strcmp(arg, "--dat") == 0) {
            dat = true;
        } else if (std::strcmp(arg, "--duplicates") == 0) {
            duplicates = true;
        } else if (std::strcmp(arg, "--dir") == 0 && i + 1 < argc &&
                   std::strcmp(argv[i + 1], "11") == 0) {
            options.directory = &extract::Layout11;
            i++;
        } else if (std::strcmp(arg, "--dir") == 0 && i + 1 < argc &&
                   std::strcmp(argv[i + 1], "9") == 0) {
            options.directory = &extract::Layout9;
            i++;
        } else {
            std::fputs(kUsage, stderr);
            return 1;
        }
    }
    // The catalogues replace the report and exclude one another; only the
    // duplicates come as JSON too; a manifest is of one image's files.
    const int catalogues = (manifest.empty() ? 0 : 1) + (dat ? 1 : 0) + (duplicates ? 1 : 0);
    const bool wrong = catalogues > 1 || (json && (dat || !manifest.empty())) ||
                       (!manifest.empty() && (options.directory == nullptr || paths.size() != 1));
    if (paths.empty() || wrong) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    if (catalogues > 0) options.digests = info::MakeDigester;
    std::vector<info::CatalogImage> catalog;
    const info::NameStyle style = TextNameStyle();
    bool converterTold = false;
    bool unopened = false;
    bool anomalous = false;
    for (const char* path : paths) {
        if (!Image.Open(path)) {
            std::fputs(extract::kOpenFailure, stderr);
            if (Image.Unpositionable()) {
                std::fprintf(stderr,
                             "d88info: %s: cannot be positioned (a pipe?); the image must be a"
                             " file, since it is read out of order\n",
                             path);
            } else if (paths.size() > 1) {
                std::fprintf(stderr, "d88info: %s: cannot be opened\n", path);
            }
            unopened = true;
            continue;
        }
        // Without the converter, names still show: ASCII decoded, the rest
        // as bytes; the fit verdicts then count such names as unreadable.
        if (!converterTold && !info::ConverterAvailable()) {
            std::fputs("d88info: no code page 932 converter (iconv CP932); non-ASCII names are"
                       " shown as bytes\n",
                       stderr);
            converterTold = true;
        }
        info::TextReport text(stdout, style);
        // Several images in JSON: one compact object a line (JSON Lines).
        info::JsonReport document(stdout, paths.size() > 1);
        info::Report& report = json ? static_cast<info::Report&>(document) : text;
        std::int32_t anomalies = 0;
        if (catalogues > 0) {
            catalog.emplace_back();
            info::CatalogReport gather(catalog.back());
            anomalies = info::Inspect(Image, path, options, gather);
        } else {
            anomalies = info::Inspect(Image, path, options, report);
            report.EndImage(anomalies);
        }
        // A file that is no D88 image at all is a finding, as an anomaly is.
        anomalous = anomalous || anomalies > 0 || info::NotD88Reason(Image) != nullptr;
        Image.Close();
    }
    if (!manifest.empty() && !catalog.empty()) info::WriteManifest(stdout, catalog[0], manifest);
    if (dat) info::WriteDat(stdout, catalog, extract::kWindowsNames);
    if (duplicates) info::WriteDuplicates(stdout, catalog, json);
    return Finish(unopened ? 1 : anomalous ? 2 : 0);
}

}  // namespace

D88_ENTRY_POINT(Run)
