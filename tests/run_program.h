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

struct RunResult {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs `program` with `args` (argv[1] on) in `cwd`. argv[0] is `argv0` when
// given, else the program's path.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::filesystem::path& cwd, const std::string& argv0 = "");

// Every regular file directly in `folder`, by name, with its bytes.
std::map<std::string, Bytes> FilesIn(const std::filesystem::path& folder);

}  // namespace testimg

#endif
