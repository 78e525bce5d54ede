// Decay time of a band from its energy over time, by Schroeder's backward
// integration: the energy still to come after each bin, in dB below the
// total, is fitted by a straight line between -5 and -35 dB (-5 and -25 dB
// when the curve ends above -35 dB) and the line extended to -60 dB. When
// the band is still within 40 dB of its loudest at the end of the render,
// the render was too short to tell, and the answer is "at least" its length.
#pragma once

#include "preview_picture.h"

// `energy[k]` is the sum of squared samples in bin k, each bin `bin_seconds`
// long. Non-finite or negative energies count as zero.
Rt60 rt60_measure(const double* energy, int bins, double bin_seconds);
