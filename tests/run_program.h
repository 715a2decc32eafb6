// Runs a built program as a user would: in a folder of its own, with
// standard output and standard error captured apart, byte for byte.
#ifndef TESTS_RUN_PROGRAM_H
#define TESTS_RUN_PROGRAM_H

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "image_builder.h"

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
    std::string out;
    std::string err;
};

// Runs `program` with `args` (argv[1] on) in `cwd`. argv[0] is `argv0` when
// given, else the program's path (under a runner, the runner chooses).
// For a Windows target every line feed must come as carriage return and
// line feed; `out` and `err` are returned with line feeds alone.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::filesystem::path& cwd, const std::string& argv0 = "");

// Every regular file directly in `folder`, by name, with its bytes. For a
// Windows target under Wine a name's bytes 0x80 and above reach the folder
// as UTF-8 of their ANSI code page (1252) characters; they are turned back.
std::map<std::string, Bytes> FilesIn(const std::filesystem::path& folder);

}  // namespace testimg

#endif
