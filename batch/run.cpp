#include "run.h"

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "archive.h"
#include "extract/extractor.h"
#include "extract/file_name.h"
#include "extract/output_file.h"
#include "extract/standard_streams.h"
#include "info/inspect.h"

#ifndef _WIN32
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace batch {

namespace {

namespace fs = std::filesystem;

// What became of one image: its lines, and the counts the last line and
// the exit status need.
struct Outcome {
    std::string out;  // the listing (with -v) and the summary line
    std::string err;  // its warnings
    int filesWritten = 0;
    int notWritten = 0;
    bool notRead = false;
    bool lost = false;
};

class StringSink : public extract::TextSink {
public:
    explicit StringSink(std::string& text) : text_(text) {}
    void PrintList(const char* format, std::va_list args) override {
        std::va_list again;
        va_copy(again, args);
        const int length = std::vsnprintf(nullptr, 0, format, again);
        va_end(again);
        if (length <= 0) return;
        const std::size_t at = text_.size();
        text_.resize(at + static_cast<std::size_t>(length) + 1);
        std::vsnprintf(&text_[at], static_cast<std::size_t>(length) + 1, format, args);
        text_.resize(at + static_cast<std::size_t>(length));
    }

private:
    std::string& text_;
};

std::string Plural(int count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

bool MakeFolder(const std::string& folder, std::string* reason) {
    std::error_code error;
    fs::create_directories(ToPath(folder), error);
    if (error) {
        *reason = error.message();
        return false;
    }
    return true;
}

// Each disk's layout, and, for an image of several disks, its own folder,
// so that no disk's file replaces another's.
class BatchPolicy : public extract::DiskPolicy {
public:
    BatchPolicy(const Job& job, LayoutChoice layout, int disks)
        : job_(job), layout_(layout), disks_(disks) {}

    extract::DiskChoice ChooseDisk(d88::D88Image& image, std::int32_t disk) override {
        if (disks_ > 1) {
            const std::string folder = job_.folder + "/disk" + std::to_string(disk);
            std::string reason;
            int error = 0;
            if (!MakeFolder(folder, &reason) || (error = extract::SetOutputFolder(folder.c_str())) != 0) {
                if (error != 0) reason = std::strerror(error);
                warning_ = "cannot make the folder " + folder + ": " + reason + "; not read";
                failed = true;
                kinds.push_back("skipped");
                return {nullptr, warning_.c_str()};
            }
        }
        if (layout_ == LayoutChoice::Fixed11) return Read(extract::Layout11, nullptr);
        if (layout_ == LayoutChoice::Fixed9) return Read(extract::Layout9, nullptr);
        const info::FitFacts fit = info::JudgeDisk(image, false);
        switch (fit.verdict) {
            case info::FitVerdict::Ext8: return Read(extract::Layout11, nullptr);
            case info::FitVerdict::Ext6: return Read(extract::Layout9, nullptr);
            case info::FitVerdict::Either: {
                const bool entries = fit.ext8.entries > 0 || fit.ext6.entries > 0;
                return Read(extract::Layout11,
                            entries ? "both layouts read alike; read with 11-byte entries (d88ext8)"
                                    : nullptr);
            }
            case info::FitVerdict::Neither: break;
        }
        kinds.push_back("skipped");
        return {nullptr, "the directory fits neither layout (another file system?); skipped"};
    }

    std::vector<std::string> kinds;
    bool failed = false;

private:
    extract::DiskChoice Read(const extract::DirectoryLayout& layout, const char* warning) {
        kinds.push_back(layout.entrySize == 11 ? "d88ext8" : "d88ext6");
        return {&layout, warning};
    }

    const Job& job_;
    LayoutChoice layout_;
    int disks_;
    std::string warning_;
};

Outcome NotRead(const Job& job, const std::string& reason) {
    Outcome outcome;
    outcome.notRead = true;
    outcome.err = "d88ext: " + job.display + ": " + reason + "\n";
    outcome.out = job.display + ": not read\n";
    return outcome;
}

// Extracts one image, from its file or from `bytes` (an archive's member).
Outcome ExtractOne(const Job& job, const std::vector<std::uint8_t>* bytes,
                   const RunOptions& options) {
    d88::D88Image& image = extract::WalkedImage();
    errno = 0;
    const bool opened = bytes != nullptr ? image.OpenMemory(bytes->data(), bytes->size())
                                         : image.Open(job.path.c_str());
    const int openError = errno;
    if (!opened) {
        if (image.Unpositionable()) {
            return NotRead(job, "cannot be positioned (a pipe?); the image must be a file");
        }
        return NotRead(job, std::string("cannot be read: ") +
                                std::strerror(openError != 0 ? openError : EIO));
    }
    const std::int32_t disks = image.DiskCount();
    if (disks == 0) {
        image.Close();
        return NotRead(job, "not a D88 image: fewer than 688 bytes");
    }
    std::string reason;
    if (!MakeFolder(job.folder, &reason)) {
        image.Close();
        return NotRead(job, "cannot make the folder " + job.folder + ": " + reason);
    }
    if (disks == 1) {
        if (const int error = extract::SetOutputFolder(job.folder.c_str())) {
            image.Close();
            return NotRead(job, "cannot open the folder " + job.folder + ": " + std::strerror(error));
        }
    }
    Outcome outcome;
    StringSink listing(outcome.out);
    StringSink warnings(outcome.err);
    const std::string prefix = "d88ext: " + job.display;
    const extract::WalkSettings settings{prefix.c_str(),
                                         extract::kWindowsNames,
                                         options.verbose ? &listing : nullptr,
                                         &warnings,
                                         options.listingToTerminal,
                                         options.verbose ? job.display.c_str() : nullptr};
    BatchPolicy policy(job, options.layout, disks);
    const extract::WalkResult result = extract::WalkImage(settings, policy);
    extract::SetOutputFolder(nullptr);
    image.Close();

    std::string kinds;
    for (const std::string& kind : policy.kinds) kinds += (kinds.empty() ? "" : ", ") + kind;
    outcome.out += job.display + ": " + Plural(result.disks, "disk", "disks") + " (" + kinds +
                   "), " + Plural(result.filesWritten, "file written", "files written") + ", " +
                   Plural(result.warnings, "warning", "warnings") + "\n";
    outcome.filesWritten = result.filesWritten;
    outcome.notWritten = result.notWritten;
    outcome.lost = result.disksLeftOut || policy.failed;
    return outcome;
}

// An archive's members, read in order as the jobs ask for them; the
// archive is opened again only when a job asks for an earlier member.
class MemberSource {
public:
    bool Read(const Job& job, std::vector<std::uint8_t>* bytes, std::string* error) {
        if (!open_ || reader_.Path() != job.path || reader_.Position() >= job.memberPosition) {
            open_ = reader_.Open(job.path, error);
            if (!open_) return false;
        }
        Member member;
        while (reader_.Position() < job.memberPosition) {
            if (!reader_.Next(&member, error)) {
                open_ = false;
                if (error->empty()) *error = "the member is no longer in the archive";
                return false;
            }
        }
        return reader_.ReadData(bytes, error);
    }

private:
    ArchiveReader reader_;
    bool open_ = false;
};

// Images done of all, files written, time spent and left, on one line of
// standard error, redrawn in place.
class Progress {
public:
    Progress(bool enabled, std::size_t total)
        : enabled_(enabled), total_(total), start_(std::chrono::steady_clock::now()) {}

    void Draw(std::size_t done, int files) {
        if (!enabled_) return;
        const double elapsed = Seconds();
        std::string left;
        if (done > 0 && done < total_) {
            left = ", about " + Clock(elapsed / static_cast<double>(done) *
                                      static_cast<double>(total_ - done)) + " left";
        }
        std::fprintf(stderr, "\r\033[Kd88ext: %zu of %zu images, %s, %s elapsed%s", done, total_,
                     Plural(files, "file written", "files written").c_str(),
                     Clock(elapsed).c_str(), left.c_str());
        std::fflush(stderr);
        shown_ = true;
        last_ = elapsed;
    }

    bool Due() const { return enabled_ && Seconds() - last_ >= 0.5; }

    void Clear() {
        if (!shown_) return;
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        shown_ = false;
    }

private:
    double Seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

    static std::string Clock(double seconds) {
        const long whole = static_cast<long>(seconds + 0.5);
        char text[32];
        std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
        return text;
    }

    bool enabled_;
    std::size_t total_;
    std::chrono::steady_clock::time_point start_;
    bool shown_ = false;
    double last_ = 0;
};

// Prints each image's lines, in the order of the list.
class Emitter {
public:
    Emitter(RunTotals& totals, Progress& progress)
        : totals_(totals), progress_(progress), check_(stdout) {}

    void Emit(const Outcome& outcome) {
        progress_.Clear();
        std::fputs(outcome.err.c_str(), stderr);
        std::fflush(stderr);
        check_.Note(std::fputs(outcome.out.c_str(), stdout));
        check_.Note(std::fflush(stdout));
        if (outcome.notRead) {
            totals_.notRead++;
        } else {
            totals_.imagesRead++;
        }
        totals_.filesWritten += outcome.filesWritten;
        totals_.notWritten += outcome.notWritten;
        totals_.lost = totals_.lost || outcome.lost;
        done_++;
        progress_.Draw(done_, totals_.filesWritten);
    }

    void Finish() {
        progress_.Clear();
        totals_.outputError = check_.Finish(false);
    }

private:
    RunTotals& totals_;
    Progress& progress_;
    extract::OutputCheck check_;
    std::size_t done_ = 0;
};

#ifndef _WIN32

// A worker's result, sent through a pipe: the counts on one line, then the
// two texts, whose lengths the line gives.
std::string Frame(const Outcome& o) {
    char head[128];
    std::snprintf(head, sizeof head, "%d %d %d %d %zu %zu\n", o.notRead ? 1 : 0, o.lost ? 1 : 0,
                  o.filesWritten, o.notWritten, o.out.size(), o.err.size());
    return head + o.out + o.err;
}

bool Unframe(const std::string& frame, Outcome* o) {
    const std::size_t end = frame.find('\n');
    if (end == std::string::npos) return false;
    int notRead = 0;
    int lost = 0;
    std::size_t outSize = 0;
    std::size_t errSize = 0;
    if (std::sscanf(frame.c_str(), "%d %d %d %d %zu %zu", &notRead, &lost, &o->filesWritten,
                    &o->notWritten, &outSize, &errSize) != 6 ||
        frame.size() != end + 1 + outSize + errSize) {
        return false;
    }
    o->notRead = notRead != 0;
    o->lost = lost != 0;
    o->out = frame.substr(end + 1, outSize);
    o->err = frame.substr(end + 1 + outSize, errSize);
    return true;
}

struct Worker {
    pid_t pid;
    int fd;
    std::size_t index;
    std::string frame;
};

// Each image is extracted by a process of its own, at most `jobs` at once:
// the reader, its buffers and the output state are then each worker's own.
RunTotals RunInWorkers(const std::vector<Job>& jobs, const RunOptions& options) {
    RunTotals totals;
    Progress progress(options.progress, jobs.size());
    Emitter emitter(totals, progress);
    progress.Draw(0, 0);
    std::vector<std::unique_ptr<Outcome>> results(jobs.size());
    std::vector<Worker> running;
    MemberSource members;
    std::size_t next = 0;
    std::size_t emitted = 0;
    while (emitted < jobs.size()) {
        while (running.size() < static_cast<std::size_t>(options.jobs) && next < jobs.size()) {
            const std::size_t index = next++;
            const Job& job = jobs[index];
            std::vector<std::uint8_t> bytes;
            if (job.inArchive) {
                std::string error;
                if (!members.Read(job, &bytes, &error)) {
                    results[index] = std::make_unique<Outcome>(NotRead(job, "cannot be read: " + error));
                    continue;
                }
            }
            int fds[2];
            if (pipe(fds) != 0) {
                results[index] = std::make_unique<Outcome>(
                    NotRead(job, std::string("cannot start a worker: ") + std::strerror(errno)));
                continue;
            }
            std::fflush(stdout);
            std::fflush(stderr);
            const pid_t pid = fork();
            if (pid == 0) {
                close(fds[0]);
                const Outcome outcome =
                    ExtractOne(job, job.inArchive ? &bytes : nullptr, options);
                const std::string frame = Frame(outcome);
                std::size_t done = 0;
                while (done < frame.size()) {
                    const ssize_t wrote = write(fds[1], frame.data() + done, frame.size() - done);
                    if (wrote < 0 && errno == EINTR) continue;
                    if (wrote <= 0) _exit(1);
                    done += static_cast<std::size_t>(wrote);
                }
                _exit(0);
            }
            close(fds[1]);
            if (pid < 0) {
                close(fds[0]);
                results[index] = std::make_unique<Outcome>(
                    NotRead(job, std::string("cannot start a worker: ") + std::strerror(errno)));
                continue;
            }
            running.push_back({pid, fds[0], index, {}});
        }
        if (!running.empty()) {
            std::vector<pollfd> fds;
            for (const Worker& worker : running) fds.push_back({worker.fd, POLLIN, 0});
            const int ready = poll(fds.data(), fds.size(), 500);
            if (ready < 0 && errno != EINTR) break;
            for (std::size_t i = running.size(); i-- > 0;) {
                if (ready <= 0 || fds[i].revents == 0) continue;
                Worker& worker = running[i];
                char chunk[65536];
                const ssize_t got = read(worker.fd, chunk, sizeof chunk);
                if (got > 0) {
                    worker.frame.append(chunk, static_cast<std::size_t>(got));
                    continue;
                }
                if (got < 0 && errno == EINTR) continue;
                close(worker.fd);
                int status = 0;
                waitpid(worker.pid, &status, 0);
                auto outcome = std::make_unique<Outcome>();
                if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
                    !Unframe(worker.frame, outcome.get())) {
                    const std::string how = WIFSIGNALED(status)
                                                ? "by signal " + std::to_string(WTERMSIG(status))
                                                : "abnormally";
                    *outcome = NotRead(jobs[worker.index], "its extraction ended " + how);
                }
                results[worker.index] = std::move(outcome);
                running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
        while (emitted < jobs.size() && results[emitted]) {
            emitter.Emit(*results[emitted]);
            results[emitted].reset();
            emitted++;
        }
        if (progress.Due()) progress.Draw(emitted, totals.filesWritten);
    }
    emitter.Finish();
    return totals;
}

#else

// Windows: one image after another, in this process.
RunTotals RunInOrder(const std::vector<Job>& jobs, const RunOptions& options) {
    RunTotals totals;
    Progress progress(options.progress, jobs.size());
    Emitter emitter(totals, progress);
    progress.Draw(0, 0);
    for (const Job& job : jobs) emitter.Emit(ExtractOne(job, nullptr, options));
    emitter.Finish();
    return totals;
}

#endif

}  // namespace

RunTotals RunJobs(const std::vector<Job>& jobs, const RunOptions& options) {
#ifndef _WIN32
    return RunInWorkers(jobs, options);
#else
    return RunInOrder(jobs, options);
#endif
}

}  // namespace batch
