#include "run_program.h"

#include <fcntl.h>
#include <iconv.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
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

std::string FromCp1252Name(const std::string& name) {
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

// The Windows programs create files through the wide-character calls, with
// entry names read as code page 932; under Wine the names reach the folder
// as UTF-8. Converted back, they give the bytes the program wrote. A name
// that is not valid code page 932 was read in the system's code page: under
// a Western locale 1252, whose every byte gives a character.
std::string FromWineName(const std::string& name) {
    iconv_t convert = iconv_open("CP932", "UTF-8");
    if (convert != reinterpret_cast<iconv_t>(-1)) {
        std::string in = name;
        std::string out(4 * name.size() + 4, '\0');
        char* inAt = in.data();
        char* outAt = out.data();
        std::size_t inLeft = in.size();
        std::size_t outLeft = out.size();
        const std::size_t done = iconv(convert, &inAt, &inLeft, &outAt, &outLeft);
        iconv_close(convert);
        if (done != static_cast<std::size_t>(-1) && inLeft == 0) {
            out.resize(out.size() - outLeft);
            return out;
        }
    }
    return FromCp1252Name(name);
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

Started::Started(const std::string& program, const std::vector<std::string>& args,
                 const std::filesystem::path& cwd, const RunOptions& options)
    // Captured outside the working folder, whose files the tests compare.
    : capture_(std::make_unique<TempDir>()), input_(options.input) {
    const std::string outPath = capture_->File("stdout");
    const std::string errPath = capture_->File("stderr");

    std::vector<std::string> words;
    if (!TestTarget().runner.empty()) words.push_back(TestTarget().runner);
    words.push_back(options.argv0.empty() || !TestTarget().runner.empty() ? program
                                                                          : options.argv0);
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<std::string> settings = options.environment;
    std::vector<char*> envp;
    for (std::string& setting : settings) envp.push_back(setting.data());

    int pipeFds[2] = {-1, -1};
    if (input_ && pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
    int terminalSlave = -1;
    terminalIsError_ = options.errorTerminal;
    if (options.terminal || options.errorTerminal) {
        if (openpty(&terminalFd_, &terminalSlave, nullptr, nullptr, nullptr) != 0) {
            throw std::runtime_error("openpty failed");
        }
        termios raw{};
        tcgetattr(terminalSlave, &raw);
        cfmakeraw(&raw);
        tcsetattr(terminalSlave, TCSANOW, &raw);
    }
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        const std::string outTarget = options.outputPath.value_or(outPath);
        const int out = options.terminal ? terminalSlave
                        : outTarget.empty()
                            ? open("/dev/null", O_RDONLY)
                            : open(outTarget.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = options.errorTerminal
                            ? terminalSlave
                            : open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int in = input_ ? pipeFds[0] : open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0 || chdir(cwd.c_str()) != 0) _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        // The program starts with the three standard descriptors and no
        // other, whatever the test runner left open.
        close_range(3, ~0u, 0);
        if (options.outputPath && options.outputPath->empty()) close(1);
        if (input_) close(pipeFds[1]);
        if (terminalFd_ >= 0) close(terminalFd_);
        for (char* setting : envp) putenv(setting);
        // No core file may land among the files a test compares.
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        if (options.fileSizeLimit >= 0) {
            // The programs ignore SIGXFSZ themselves; Wine, which runs the
            // Windows builds, does not.
            if (TestTarget().windows) signal(SIGXFSZ, SIG_IGN);
            const auto limit = static_cast<rlim_t>(options.fileSizeLimit);
            const rlimit fsize{limit, limit};
            if (setrlimit(RLIMIT_FSIZE, &fsize) != 0) _exit(127);
        }
        execv(TestTarget().runner.empty() ? program.c_str() : TestTarget().runner.c_str(),
              argv.data());
        _exit(127);
    }
    if (input_) {
        close(pipeFds[0]);
        inputFd_ = pipeFds[1];
    }
    if (terminalSlave >= 0) close(terminalSlave);
}

Started::~Started() {
    if (inputFd_ >= 0) close(inputFd_);
    if (terminalFd_ >= 0) close(terminalFd_);
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

RunResult Started::Wait() {
    if (inputFd_ >= 0) {
        // A program that does not read its input ends the pipe; the rest of
        // the bytes are then refused (EPIPE), which is not a failure here.
        const auto previous = signal(SIGPIPE, SIG_IGN);
        std::size_t done = 0;
        while (done < input_->size()) {
            const ssize_t wrote = write(inputFd_, input_->data() + done, input_->size() - done);
            if (wrote <= 0) break;
            done += static_cast<std::size_t>(wrote);
        }
        close(inputFd_);
        inputFd_ = -1;
        signal(SIGPIPE, previous);
    }
    // A terminal holds little: it is read while the program runs, until
    // the program's side is closed (EIO).
    std::string terminalText;
    const bool hadTerminal = terminalFd_ >= 0;
    if (terminalFd_ >= 0) {
        char chunk[4096];
        for (;;) {
            const ssize_t got = read(terminalFd_, chunk, sizeof chunk);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            terminalText.append(chunk, static_cast<std::size_t>(got));
        }
        close(terminalFd_);
        terminalFd_ = -1;
    }
    int wstatus = 0;
    if (waitpid(pid_, &wstatus, 0) != pid_) throw std::runtime_error("waitpid failed");
    pid_ = -1;
    RunResult result;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    result.signal = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
    const bool outOnTerminal = hadTerminal && !terminalIsError_;
    const bool errOnTerminal = hadTerminal && terminalIsError_;
    result.out = outOnTerminal ? terminalText : Slurp(capture_->File("stdout"));
    result.err = errOnTerminal ? terminalText : Slurp(capture_->File("stderr"));
    if (TestTarget().windows) {
        result.out = FromWindowsLines(result.out, "standard output");
        result.err = FromWindowsLines(result.err, "standard error");
    }
    return result;
}

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::filesystem::path& cwd, const RunOptions& options) {
    return Started(program, args, cwd, options).Wait();
}

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::filesystem::path& cwd, const std::string& argv0) {
    RunOptions options;
    options.argv0 = argv0;
    return RunProgram(program, args, cwd, options);
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
