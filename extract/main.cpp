// d88ext8 and d88ext6: one source, built once with each directory layout.
// D88EXT_LAYOUT (11 or 9) and D88EXT_NAME come from the build.
#include <cstdio>

#include "extractor.h"
#include "file_name.h"
#include "output_file.h"
#include "standard_streams.h"

#include "entry_point.h"

#if D88EXT_LAYOUT == 11
#define D88EXT_DIRECTORY_LAYOUT extract::Layout11
#elif D88EXT_LAYOUT == 9
#define D88EXT_DIRECTORY_LAYOUT extract::Layout9
#else
#error "D88EXT_LAYOUT must be 11 or 9"
#endif

namespace {

int Run(int argc, char** argv) {
    static const extract::ProgramConfig kConfig{D88EXT_NAME, D88EXT_DIRECTORY_LAYOUT,
                                                extract::kWindowsNames, true};
    extract::GuardStandardDescriptors();
    extract::RemovePartialFilesOnInterrupt();
    return extract::RunProgram(argc, argv, kConfig, stdout, stderr);
}

}  // namespace

D88_ENTRY_POINT(Run)
