// Windows: the programs' UTF-16 command line as the char strings they use.
// The program's own name (shown in the usage line, on the console) goes to
// the system's code page; every argument goes to UTF-8, which the programs
// open through the wide-character calls, so that a path is found whatever
// characters it holds. Fixed buffers: the programs allocate nothing.
#ifndef EXTRACT_WINDOWS_ARGS_H
#define EXTRACT_WINDOWS_ARGS_H

#ifdef _WIN32
#include <windows.h>

namespace extract {

class WindowsArgs {
public:
    char** Convert(int argc, wchar_t** argv) {
        int used = 0;
        int count = 0;
        for (; count < argc && count < kMaxArgs; count++) {
            const UINT codePage = count == 0 ? CP_ACP : CP_UTF8;
            char* at = text_ + used;
            const int room = kTextSize - used;
            const int size = room > 0 ? WideCharToMultiByte(codePage, 0, argv[count], -1, at,
                                                            room, nullptr, nullptr)
                                      : 0;
            // Cannot happen for a real command line; an argument that does
            // not fit is passed as empty rather than left out.
            pointers_[count] = size > 0 ? at : empty_;
            if (size > 0) used += size;
        }
        pointers_[count] = nullptr;
        return pointers_;
    }

private:
    // A Windows command line holds at most 32,767 UTF-16 units, each at
    // most 3 bytes of UTF-8, and so fewer arguments than kMaxArgs: all of
    // them fit, each with its terminating zero.
    static constexpr int kMaxArgs = 32768;
    static constexpr int kTextSize = 3 * 32768 + kMaxArgs;
    char text_[kTextSize];
    char empty_[1] = {'\0'};
    char* pointers_[kMaxArgs + 1];
};

}  // namespace extract

#endif

#endif
