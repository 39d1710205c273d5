// Test TIFF files, made with the same code the demo uses, in a scratch folder.
#pragma once

#include <string>

#include "engines/pages/sample_tiff.h"

namespace qvfax::testing {

using pages::MakeFaxTiff;
using pages::PageResolution;

// A scratch path under the test's state folder.
std::string ScratchPath(const std::string& name);

}  // namespace qvfax::testing
