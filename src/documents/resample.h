// An image brought to a size as its rows arrive: each output pixel the mean
// of the source area it covers going down in size (nothing is lost between
// samples, so thin strokes stay as grey), interpolated between its nearest
// neighbours going up. Only the few source rows under the current output row
// are kept.
#pragma once

#include <cstdint>

#include "documents/grey_rows.h"
#include "documents/tone.h"

namespace qvfax::documents {

GreyImage Resample(GreyRows& source, uint32_t columns, uint32_t rows);

}  // namespace qvfax::documents
