#include "allpass_diffuser.h"

#include <cstdlib>

AllpassDiffuser* allpass_diffuser_create(int32_t size, float coefficient)
{
    if (size <= 0)
        return nullptr;
    AllpassDiffuser* diffuser =
        static_cast<AllpassDiffuser*>(std::malloc(sizeof(AllpassDiffuser)));
    if (!diffuser)
        return nullptr;
    float* samples = static_cast<float*>(std::calloc(size_t(size), sizeof(float)));
    if (!samples) {
        std::free(diffuser);
        return nullptr;
    }
    allpass_diffuser_init(diffuser, size, coefficient, samples);
    return diffuser;
}

void allpass_diffuser_init(AllpassDiffuser* diffuser, int32_t size, float coefficient,
                           float* samples)
{
    diffuser->size = size;
    diffuser->coefficient = coefficient;
    diffuser->index = 0;
    diffuser->samples = samples;
    diffuser->zero_stores = size;
}

void allpass_diffuser_clear(AllpassDiffuser* diffuser)
{
    for (int32_t i = 0; i < diffuser->size; ++i)
        diffuser->samples[i] = 0.0f;
    diffuser->zero_stores = diffuser->size;
}

void allpass_diffuser_destroy(AllpassDiffuser* diffuser)
{
    if (!diffuser)
        return;
    std::free(diffuser->samples);
    std::free(diffuser);
}
