// Extracting the images of a list, one at a time or several at once, and
// telling what became of each, in the order of the list.
#ifndef BATCH_RUN_H
#define BATCH_RUN_H

#include <string>
#include <vector>

#include "inputs.h"

namespace batch {

enum class LayoutChoice { Auto, Fixed11, Fixed9 };

struct RunOptions {
    LayoutChoice layout = LayoutChoice::Auto;
    int jobs = 1;
    bool verbose = false;
    bool listingToTerminal = false;  // control bytes in listed names as "?"
    bool progress = false;           // a progress line on standard error
};

struct RunTotals {
    int imagesRead = 0;
    int notRead = 0;
    int filesWritten = 0;
    int notWritten = 0;
    bool lost = false;  // disks past the 64th, or standard output failed
    int outputError = 0;  // errno value when standard output failed
};

// Extracts every job, printing each image's lines together and its summary
// line in the order of `jobs`.
RunTotals RunJobs(const std::vector<Job>& jobs, const RunOptions& options);

}  // namespace batch

#endif
