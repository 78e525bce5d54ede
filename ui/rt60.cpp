#include "rt60.h"

#include <cmath>

namespace {

// Fit range of the decay curve, dB below the total energy.
constexpr double FIT_START_DB = -5.0;
constexpr double FIT_END_DB = -35.0;
constexpr double FIT_END_SHORT_DB = -25.0;
// Fewer points than this between the fit's ends are too few for a slope.
constexpr int FIT_MIN_POINTS = 4;
// A curve that ends abruptly (the energy runs out inside a bin) counts as
// this far down, so one bin cannot steer the fit.
constexpr double FIT_FLOOR_DB = -100.0;
// The integration runs to the end of the render, so the energy still to come
// always falls to nothing there, decayed or not. Only when the level at the
// end lies this far below the loudest span is that fall the decay's own.
constexpr double TAIL_MARGIN_DB = -40.0;
// The length of the spans compared for that, as a share of all bins.
constexpr int SPAN_SHARE = 32;

double clean(double e) { return std::isfinite(e) && e > 0.0 ? e : 0.0; }

}  // namespace

Rt60 rt60_measure(const double* energy, int bins, double bin_seconds)
{
    if (bins <= 0 || !(bin_seconds > 0.0) || !std::isfinite(bin_seconds))
        return {Rt60Kind::silent, 0.0f};
    double total = 0.0;
    for (int k = 0; k < bins; ++k)
        total += clean(energy[k]);
    if (!(total > 0.0) || !std::isfinite(total))
        return {Rt60Kind::silent, 0.0f};

    // The loudest span and the last one, as their summed energies.
    const int span = bins / SPAN_SHARE > 0 ? bins / SPAN_SHARE : 1;
    double running = 0.0, loudest = 0.0;
    for (int k = 0; k < bins; ++k) {
        running += clean(energy[k]);
        if (k >= span)
            running -= clean(energy[k - span]);
        loudest = running > loudest ? running : loudest;
    }
    double last = 0.0;
    for (int k = bins - span; k < bins; ++k)
        last += clean(energy[k]);
    const double length = bins * bin_seconds;
    if (last > 0.0 && 10.0 * std::log10(last / loudest) > TAIL_MARGIN_DB)
        return {Rt60Kind::at_least, float(length)};

    // The first bins at which the energy still to come falls below the
    // fit's ends. remaining is the energy from bin k on.
    int start = -1, end = -1, end_short = -1;
    double remaining = total;
    for (int k = 0; k < bins && end < 0; ++k) {
        const double db = remaining > 0.0 ? 10.0 * std::log10(remaining / total) : -1000.0;
        if (start < 0 && db <= FIT_START_DB)
            start = k;
        if (end_short < 0 && db <= FIT_END_SHORT_DB)
            end_short = k;
        if (db <= FIT_END_DB)
            end = k;
        remaining -= clean(energy[k]);
    }
    if (end < 0)
        end = end_short;
    if (start < 0 || end < 0)
        return {Rt60Kind::at_least, float(length)};
    if (end - start + 1 < FIT_MIN_POINTS)
        return {Rt60Kind::shorter_than, float(60.0 / 30.0 * FIT_MIN_POINTS * bin_seconds)};

    // Least-squares line through (time, dB) of the bins start..end.
    double sum_t = 0.0, sum_d = 0.0, sum_tt = 0.0, sum_td = 0.0;
    remaining = total;
    for (int k = 0; k <= end; ++k) {
        if (k >= start) {
            const double t = k * bin_seconds;
            double db = remaining > 0.0 ? 10.0 * std::log10(remaining / total) : FIT_FLOOR_DB;
            db = db > FIT_FLOOR_DB ? db : FIT_FLOOR_DB;
            sum_t += t;
            sum_d += db;
            sum_tt += t * t;
            sum_td += t * db;
        }
        remaining -= clean(energy[k]);
    }
    const double n = double(end - start + 1);
    const double slope = (n * sum_td - sum_t * sum_d) / (n * sum_tt - sum_t * sum_t);
    if (!(slope < 0.0))
        return {Rt60Kind::at_least, float(length)};
    const double seconds = -60.0 / slope;
    if (!std::isfinite(seconds) || seconds > 1e6)
        return {Rt60Kind::at_least, float(length)};
    return {Rt60Kind::measured, float(seconds)};
}
