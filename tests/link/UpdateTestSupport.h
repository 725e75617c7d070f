// Helpers of the update, unpack and CRC tests: random content and the model
// of a transfer; the temporary folders are the tests' common ones.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tests/support/TempFolder.h"

namespace zqtest {

// Content of the given size, the same for the same seed.
std::string RandomBytes(size_t size, unsigned seed);

// The model as the device page leaves it for a transfer: one RX7150 at
// software 138, which confirms each file, and the one file to send.
void SetUpModelToSend(const std::string& file);

}  // namespace zqtest
