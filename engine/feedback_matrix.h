// The engine's feedback mix: the four damped feedback outputs through the
// orthogonal matrix 1/2 x (1 1 -1 -1; 1 -1 -1 1; -1 1 -1 1; 1 1 1 1), in
// single precision with the additions in this fixed order. Shared by the
// one-sample path and the scalar parts of stage-by-stage processing.
#pragma once

static inline void feedback_matrix_mix(const float d[4], float f[4])
{
    f[0] = (((d[1] + d[0]) - d[2]) - d[3]) * 0.5f;
    f[1] = (((d[0] - d[1]) - d[2]) + d[3]) * 0.5f;
    f[2] = (((d[1] - d[0]) - d[2]) + d[3]) * 0.5f;
    f[3] = ((d[3] + d[2]) + (d[1] + d[0])) * 0.5f;
}
