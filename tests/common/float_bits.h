// Helpers for tests that compare floating-point results to the bit.
#pragma once

#include <cstdint>
#include <cstring>

inline uint32_t float_bits(float v)
{
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

inline uint64_t double_bits(double v)
{
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

// Exact comparison that also tells +0.0 from -0.0 and prints hex floats.
#define EXPECT_SAME_FLOAT(expected, actual) \
    EXPECT_EQ(float_bits(expected), float_bits(actual)) << std::hexfloat << (expected) << " vs " << (actual)
#define EXPECT_SAME_DOUBLE(expected, actual) \
    EXPECT_EQ(double_bits(expected), double_bits(actual)) << std::hexfloat << (expected) << " vs " << (actual)
