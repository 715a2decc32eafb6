// The sample images shipped in samples/, made by the image builder. A test
// checks that the files in the repository are exactly what these make.
#ifndef TESTS_SAMPLES_H
#define TESTS_SAMPLES_H

#include "image_builder.h"

namespace testimg {

// Two disks in the 11-byte layout, for d88ext8.
Bytes Sample8();
// One disk in the 9-byte layout, for d88ext6.
Bytes Sample6();

}  // namespace testimg

#endif
