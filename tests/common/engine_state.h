// An engine's whole state compared by bits, for tests that run two engines
// (alone or inside two instances) that must stay alike.
#pragma once

#include <gtest/gtest.h>

#include <cstring>

#include "float_bits.h"
#include "reverb_engine.h"

inline bool same_line(const DelayLine* a, const DelayLine* b)
{
    return a->size == b->size && a->index == b->index && a->zero_pushes == b->zero_pushes &&
           std::memcmp(a->samples, b->samples, sizeof(float) * size_t(a->size)) == 0;
}

// Every store, damper and carried value, and the feedback tuning.
inline void expect_same_engine(const ReverbEngine* a, const ReverbEngine* b)
{
    EXPECT_EQ(float_bits(a->input_damper->state), float_bits(b->input_damper->state));
    EXPECT_TRUE(same_line(&a->input_diffuser->line, &b->input_diffuser->line));
    EXPECT_TRUE(same_line(a->tap_delay, b->tap_delay));
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k) {
        EXPECT_TRUE(same_line(a->fdn_delays[k], b->fdn_delays[k])) << k;
        EXPECT_EQ(float_bits(a->fdn_dampers[k]->state), float_bits(b->fdn_dampers[k]->state));
        EXPECT_EQ(float_bits(a->tap_outputs[k]), float_bits(b->tap_outputs[k]));
        EXPECT_EQ(float_bits(a->fdn_outputs[k]), float_bits(b->fdn_outputs[k]));
        EXPECT_EQ(float_bits(a->fdn_feedback[k]), float_bits(b->fdn_feedback[k]));
        EXPECT_EQ(a->fdn_lengths[k], b->fdn_lengths[k]);
        EXPECT_EQ(float_bits(a->fdn_gains[k]), float_bits(b->fdn_gains[k]));
    }
    for (int k = 0; k < ENGINE_CHAIN_LENGTH; ++k) {
        EXPECT_TRUE(same_line(&a->left_diffusers[k]->line, &b->left_diffusers[k]->line)) << k;
        EXPECT_TRUE(same_line(&a->right_diffusers[k]->line, &b->right_diffusers[k]->line)) << k;
    }
}
