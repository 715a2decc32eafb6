#include "inputs.h"

#include <algorithm>
#include <system_error>

#include "archive.h"
#include "stem.h"

namespace batch {

namespace fs = std::filesystem;

namespace {

std::string Lower(const std::string& text) {
    std::string lower = text;
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

bool EndsWithAny(const std::string& name, std::initializer_list<const char*> endings) {
    const std::string lower = Lower(name);
    for (const char* ending : endings) {
        const std::string e = ending;
        if (lower.size() > e.size() && lower.compare(lower.size() - e.size(), e.size(), e) == 0) {
            return true;
        }
    }
    return false;
}

class Collector {
public:
    Collector(const std::string& outputFolder, bool windowsRules)
        : output_(outputFolder), windows_(windowsRules), stems_(windowsRules) {}

    void Argument(const std::string& argument) {
        std::error_code error;
        const fs::path path = ToPath(argument);
        const fs::file_status status = fs::status(path, error);
        if (error) {
            CannotRead(argument, error.message());
            return;
        }
        if (fs::is_directory(status)) {
            Folder(argument);
        } else if (IsArchiveName(argument)) {
            Archive(argument);
        } else {
            // A file named on the command line is taken as an image,
            // whatever its name.
            Image(argument);
        }
    }

    Collection Done() { return std::move(collection_); }

private:
    void CannotRead(const std::string& display, const std::string& reason) {
        collection_.messages += "d88ext: " + display + ": cannot be read: " + reason + "\n";
        collection_.notRead++;
    }

    void Image(const std::string& path) {
        Job job;
        job.display = path;
        job.path = path;
        job.folder = Join(output_, stems_.Take(Stem(BaseName(path, windows_), windows_)));
        collection_.jobs.push_back(job);
    }

    // Images and archives below a folder, in byte order of their paths; a
    // link to a folder is not followed.
    void Folder(const std::string& folder) {
        std::vector<std::string> found;
        std::error_code error;
        fs::recursive_directory_iterator it(ToPath(folder), error);
        for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
            std::error_code kindError;
            if (!it->is_regular_file(kindError)) continue;
            const std::string path = FromPath(it->path());
            const std::string name = FromPath(it->path().filename());
            if (IsImageName(name) || IsArchiveName(name)) found.push_back(path);
        }
        if (error) CannotRead(folder, error.message());
        std::sort(found.begin(), found.end());
        for (const std::string& path : found) {
            if (IsArchiveName(path)) {
                Archive(path);
            } else {
                Image(path);
            }
        }
    }

    void Archive(const std::string& path) {
        ArchiveReader reader;
        std::string error;
        if (!reader.Open(path, &error)) {
            CannotRead(path, error);
            return;
        }
        const std::string folder = Join(output_, stems_.Take(Stem(BaseName(path, windows_), windows_)));
        StemSet members(windows_);
        Member member;
        while (reader.Next(&member, &error)) {
            if (!member.regular) continue;
            const std::string display = path + "/" + member.name;
            // Member names use "/" on every system.
            const std::string base = BaseName(member.name, false);
            if (IsArchiveName(base)) {
                collection_.messages +=
                    "d88ext: " + display + ": an archive inside an archive; not opened\n";
            } else if (IsImageName(base)) {
                if (member.size > kMaxMemberSize) {
                    CannotRead(display, "larger than 256 MiB");
                    continue;
                }
                Job job;
                job.display = display;
                job.path = path;
                job.inArchive = true;
                job.memberPosition = reader.Position();
                job.folder = Join(folder, members.Take(Stem(base, windows_)));
                collection_.jobs.push_back(job);
            }
        }
        if (!error.empty()) CannotRead(path, error);
    }

    static std::string Join(const std::string& folder, const std::string& name) {
        if (folder.empty()) return name;
        const char last = folder.back();
        return last == '/' || last == '\\' ? folder + name : folder + "/" + name;
    }

    std::string output_;
    bool windows_;
    StemSet stems_;
    Collection collection_;
};

}  // namespace

bool IsImageName(const std::string& name) {
    return EndsWithAny(name, {".d88", ".d77", ".d68", ".d98", ".88d"});
}

bool IsArchiveName(const std::string& name) {
    return EndsWithAny(name, {".zip", ".7z", ".lzh", ".lha", ".rar", ".tar", ".tgz", ".tar.gz"});
}

fs::path ToPath(const std::string& text) {
#ifdef _WIN32
    return fs::u8path(text);
#else
    return fs::path(text);
#endif
}

std::string FromPath(const fs::path& path) {
#ifdef _WIN32
    return path.u8string();
#else
    return path.string();
#endif
}

Collection Collect(const std::vector<std::string>& arguments, const std::string& outputFolder,
                   bool windowsRules) {
    Collector collector(outputFolder, windowsRules);
    for (const std::string& argument : arguments) collector.Argument(argument);
    return collector.Done();
}

}  // namespace batch
