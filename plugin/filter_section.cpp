#include "filter_section.h"

#include <cmath>

namespace {

// Common part of both designs: the cookbook's w, sin w, cos w, alpha and the
// reciprocal of a0 = 1 + alpha. w, alpha and the reciprocal are worked out
// in double and rounded to float; sin w and cos w come from sincosf.
struct SectionDesign {
    float cs;
    float alpha;
    float inv;
};

SectionDesign design_common(float frequency, float sample_rate, double bandwidth_factor)
{
    const double two_pi = 6.2831853071795862;
    const float w = float(double(frequency) * two_pi / double(sample_rate));
    float sn;
    float cs;
    sincosf(w, &sn, &cs);
    const float alpha =
        float(std::sinh(double(w) * bandwidth_factor / double(sn)) * double(sn));
    const float inv = float(1.0 / (double(alpha) + 1.0));
    return {cs, alpha, inv};
}

void write_feedback(FilterSection* section, const SectionDesign& d)
{
    section->fb1 = float(2.0 * double(d.cs) * double(d.inv));
    section->fb2 = float((double(d.alpha) - 1.0) * double(d.inv));
}

}  // namespace

void filter_section_highpass(FilterSection* section, float frequency, float sample_rate,
                             double bandwidth_factor)
{
    const SectionDesign d = design_common(frequency, sample_rate, bandwidth_factor);
    write_feedback(section, d);
    const float edge = float((1.0 + double(d.cs)) * 0.5 * double(d.inv));
    section->ff0 = edge;
    section->ff2 = edge;
    section->ff1 = float((-1.0 - double(d.cs)) * double(d.inv));
}

void filter_section_lowpass(FilterSection* section, float frequency, float sample_rate,
                            double bandwidth_factor)
{
    const SectionDesign d = design_common(frequency, sample_rate, bandwidth_factor);
    write_feedback(section, d);
    const float edge = float(0.5 * (1.0 - double(d.cs)) * double(d.inv));
    section->ff0 = edge;
    section->ff2 = edge;
    section->ff1 = float((1.0 - double(d.cs)) * double(d.inv));
}
