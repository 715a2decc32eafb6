// Runs a built program as a user would: in a folder of its own, with
// standard output and standard error captured apart, byte for byte.
#ifndef TESTS_RUN_PROGRAM_H
#define TESTS_RUN_PROGRAM_H

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "image_builder.h"
#include "temp_dir.h"

namespace testimg {

// What the programs under test are. By default the native builds named at
// build time; with D88_TEST_EXT8 and D88_TEST_EXT6 other builds, started
// through D88_TEST_RUNNER when it is set (Wine for the Windows builds). With
// D88_TEST_WINDOWS=1 the expectations are those of Windows: each line feed
// leaves standard output and standard error as carriage return and line
// feed, and file names follow the Windows rules.
struct Target {
    bool windows = false;
    std::string runner;
};
const Target& TestTarget();

struct RunResult {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    int signal = 0;   // the signal that ended it, 0 when it exited
    std::string out;
    std::string err;
};

// How a run differs from a plain one.
struct RunOptions {
    // argv[0] when not empty, else the program's path (under a runner, the
    // runner chooses).
    std::string argv0;
    // RLIMIT_FSIZE in bytes when not negative. SIGXFSZ keeps its default
    // action (the programs must ignore it themselves), except under Wine.
    long long fileSizeLimit = -1;
    // NAME=VALUE settings added to the program's environment.
    std::vector<std::string> environment;
    // When set, standard input is a pipe that carries these bytes.
    std::optional<Bytes> input;
    // When set, standard output goes to this file (opened for writing)
    // instead of being captured; an empty path leaves descriptor 1 closed.
    std::optional<std::string> outputPath;
    // Standard output is a terminal (a pseudo-terminal in raw mode, so that
    // the bytes arrive as written); what reaches it is captured.
    bool terminal = false;
    // The same for standard error; what reaches it is captured as `err`.
    bool errorTerminal = false;
};

// A program started and not yet waited for.
class Started {
public:
    Started(const std::string& program, const std::vector<std::string>& args,
            const std::filesystem::path& cwd, const RunOptions& options);
    ~Started();
    Started(const Started&) = delete;
    Started& operator=(const Started&) = delete;
    // Waits for the program to end.
    RunResult Wait();

private:
    std::unique_ptr<TempDir> capture_;
    int pid_ = -1;
    int inputFd_ = -1;
    int terminalFd_ = -1;  // the pseudo-terminal's master side
    bool terminalIsError_ = false;  // it stands for standard error, not output
    std::optional<Bytes> input_;
};

// Runs `program` with `args` (argv[1] on) in `cwd`. argv[0] is `argv0` when
// given, else the program's path (under a runner, the runner chooses).
// For a Windows target every line feed must come as carriage return and
// line feed; `out` and `err` are returned with line feeds alone.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::filesystem::path& cwd, const std::string& argv0 = "");
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::filesystem::path& cwd, const RunOptions& options);

// Every regular file directly in `folder`, by name, with its bytes. For a
// Windows target under Wine names reach the folder as UTF-8 of the
// characters the program meant; they are turned back into its bytes.
std::map<std::string, Bytes> FilesIn(const std::filesystem::path& folder);

}  // namespace testimg

#endif
