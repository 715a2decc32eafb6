#include "run_program.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
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

// Checks that every line feed comes after a carriage return, and returns the
// text with line feeds alone.
std::string FromWindowsLines(const std::string& text, const char* stream) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); i++) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += '\n';
            i++;
            continue;
        }
        if (text[i] == '\n') ADD_FAILURE() << stream << ": line feed without carriage return";
        out += text[i];
    }
    return out;
}

// Code page 1252 in 0x80-0x9F; the rest of 0xA0-0xFF is Latin-1.
const char32_t kCp1252High[32] = {
    0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};

std::string FromWineName(const std::string& name) {
    std::string out;
    for (std::size_t i = 0; i < name.size();) {
        const auto lead = static_cast<unsigned char>(name[i]);
        char32_t code = lead;
        std::size_t length = 1;
        if (lead >= 0xE0 && i + 2 < name.size()) {
            code = ((lead & 0x0Fu) << 12) | ((static_cast<unsigned char>(name[i + 1]) & 0x3Fu) << 6) |
                   (static_cast<unsigned char>(name[i + 2]) & 0x3Fu);
            length = 3;
        } else if (lead >= 0xC0 && i + 1 < name.size()) {
            code = ((lead & 0x1Fu) << 6) | (static_cast<unsigned char>(name[i + 1]) & 0x3Fu);
            length = 2;
        }
        char byte = static_cast<char>(code);
        for (int k = 0; k < 32; k++) {
            if (kCp1252High[k] == code) byte = static_cast<char>(0x80 + k);
        }
        out += byte;
        i += length;
    }
    return out;
}

}  // namespace

const Target& TestTarget() {
    static const Target target = [] {
        Target t;
        const char* windows = std::getenv("D88_TEST_WINDOWS");
        t.windows = windows != nullptr && std::string(windows) == "1";
        const char* runner = std::getenv("D88_TEST_RUNNER");
        if (runner != nullptr) t.runner = runner;
        return t;
    }();
    return target;
}

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::filesystem::path& cwd, const std::string& argv0) {
    // Captured outside the working folder, whose files the tests compare.
    TempDir capture;
    const std::string outPath = capture.File("stdout");
    const std::string errPath = capture.File("stderr");

    std::vector<std::string> words;
    if (!TestTarget().runner.empty()) words.push_back(TestTarget().runner);
    words.push_back(argv0.empty() || !TestTarget().runner.empty() ? program : argv0);
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
        execv(TestTarget().runner.empty() ? program.c_str() : TestTarget().runner.c_str(),
              argv.data());
        _exit(127);
    }
    int wstatus = 0;
    if (waitpid(pid, &wstatus, 0) != pid) throw std::runtime_error("waitpid failed");
    RunResult result;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    result.out = Slurp(outPath);
    result.err = Slurp(errPath);
    if (TestTarget().windows) {
        result.out = FromWindowsLines(result.out, "standard output");
        result.err = FromWindowsLines(result.err, "standard error");
    }
    return result;
}

std::map<std::string, Bytes> FilesIn(const std::filesystem::path& folder) {
    std::map<std::string, Bytes> files;
    for (const auto& item : std::filesystem::directory_iterator(folder)) {
        if (item.is_regular_file() && !item.is_symlink()) {
            const std::string name = item.path().filename().string();
            files[TestTarget().windows ? FromWineName(name) : name] = ReadFile(item.path().string());
        }
    }
    return files;
}

}  // namespace testimg
