// The programs' entry: `main`, or on Windows `wmain`, which takes the
// command line as UTF-16 and hands it on as UTF-8 strings (the program's own
// name in the system's code page), so that paths of any characters are
// found. D88_ENTRY_POINT(Run) defines it to return Run(argc, argv).
#ifndef EXTRACT_ENTRY_POINT_H
#define EXTRACT_ENTRY_POINT_H

#ifdef _WIN32
#include "windows_args.h"

#define D88_ENTRY_POINT(run)                            \
    int wmain(int argc, wchar_t** argv) {               \
        static extract::WindowsArgs args;               \
        return run(argc, args.Convert(argc, argv));     \
    }
#else
#define D88_ENTRY_POINT(run) \
    int main(int argc, char** argv) { return run(argc, argv); }
#endif

#endif
