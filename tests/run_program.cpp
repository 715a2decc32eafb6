#include "run_program.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "temp_dir.h"

namespace testimg {

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

}  // namespace

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::filesystem::path& cwd, const std::string& argv0) {
    // Captured outside the working folder, whose files the tests compare.
    TempDir capture;
    const std::string outPath = capture.File("stdout");
    const std::string errPath = capture.File("stderr");

    std::vector<std::string> words;
    words.push_back(argv0.empty() ? program : argv0);
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int in = open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0 || chdir(cwd.c_str()) != 0) _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int wstatus = 0;
    if (waitpid(pid, &wstatus, 0) != pid) throw std::runtime_error("waitpid failed");
    RunResult result;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    result.out = Slurp(outPath);
    result.err = Slurp(errPath);
    return result;
}

std::map<std::string, Bytes> FilesIn(const std::filesystem::path& folder) {
    std::map<std::string, Bytes> files;
    for (const auto& item : std::filesystem::directory_iterator(folder)) {
        if (item.is_regular_file() && !item.is_symlink()) {
            files[item.path().filename().string()] = ReadFile(item.path().string());
        }
    }
    return files;
}

}  // namespace testimg
