// VectorStart: the first sample of a vector in a stretch, as the loop's
// index and a fixed offset from it, which the compiler knows. Reads as the
// sample number wherever a number is wanted; a read written out by hand can
// take the offset as the displacement of its address, so that the vectors
// of one pass of a loop share one index register.
#pragma once

#include <cstdint>

template <int OFFSET>
struct VectorStart {
    int32_t index;

    operator int32_t() const { return index + OFFSET; }
};
