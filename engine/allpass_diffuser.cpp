#include "allpass_diffuser.h"

void allpass_diffuser_init(AllpassDiffuser* diffuser, int32_t size, float coefficient,
                           float* samples)
{
    delay_line_init(&diffuser->line, size, samples);
    diffuser->coefficient = coefficient;
}

void allpass_diffuser_clear(AllpassDiffuser* diffuser)
{
    delay_line_clear(&diffuser->line);
}
