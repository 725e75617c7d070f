// Helpers of the update, unpack and CRC tests: random content; the
// temporary folders are the tests' common ones.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tests/support/TempFolder.h"

namespace zqtest {


std::string RandomBytes(size_t size, unsigned seed);

}  // namespace zqtest
