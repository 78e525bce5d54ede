// VectorStart: the first sample of a vector in a stretch, as the loop's
// index and a fixed offset from it, which the compiler knows. Reads as the
// sample number wherever a number is wanted; a read written out by hand can
// take the offset as the displacement of its address, so that the vectors
// of one pass of a loop share one index register.
//
// Internal to each file that includes it, as the lanes are, so that a path
// built for a wider instruction set never lends its copy to another.
#pragma once

#include <cstdint>

namespace {

template <int OFFSET>
struct VectorStart {
    int32_t index;

    operator int32_t() const { return index + OFFSET; }
};

}  // namespace
