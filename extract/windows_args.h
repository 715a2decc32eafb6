// Windows: the programs' UTF-16 command line as the char strings they use.
// The program's own name (shown in the usage line, on the console) goes to
// the system's code page; the image path goes to UTF-8, which the reader
// opens through the wide-character calls, so that a path is found whatever
// characters it holds. Fixed buffers: the programs allocate nothing.
#ifndef EXTRACT_WINDOWS_ARGS_H
#define EXTRACT_WINDOWS_ARGS_H

#ifdef _WIN32
#include <windows.h>

namespace extract {

class WindowsArgs {
public:
    // Only the program's name and the first argument are ever read; the
    // others are passed as empty strings.
    char** Convert(int argc, wchar_t** argv) {
        for (int i = 0; i < argc && i < kMaxArgs; i++) {
            const UINT codePage = i == 0 ? CP_ACP : CP_UTF8;
            if (WideCharToMultiByte(codePage, 0, argv[i], -1, text_[i], kTextSize, nullptr,
                                    nullptr) <= 0) {
                text_[i][0] = '\0';
            }
            pointers_[i] = text_[i];
        }
        for (int i = kMaxArgs; i < argc && i < kMaxPointers - 1; i++) pointers_[i] = empty_;
        pointers_[argc < kMaxPointers - 1 ? argc : kMaxPointers - 1] = nullptr;
        return pointers_;
    }

private:
    static constexpr int kMaxArgs = 2;
    static constexpr int kMaxPointers = 64;
    // A Windows command line holds at most 32,767 UTF-16 units, each at most
    // 3 bytes of UTF-8.
    static constexpr int kTextSize = 3 * 32768;
    char text_[kMaxArgs][kTextSize];
    char empty_[1] = {'\0'};
    char* pointers_[kMaxPointers];
};

}  // namespace extract

#endif

#endif
