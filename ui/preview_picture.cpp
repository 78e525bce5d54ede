#include "preview_picture.h"

#include <cmath>

void preview_picture_clear(PreviewPicture* picture, int channels, bool has_bands, double seconds)
{
    picture->channels = channels == 2 ? 2 : 1;
    picture->has_bands = has_bands;
    picture->seconds = std::isfinite(seconds) && seconds > 0.0 ? seconds : 1.0;
    picture->bins_done = 0;
    picture->complete = false;
    for (auto& curve : picture->peak_db)
        for (float& v : curve)
            v = PREVIEW_FLOOR_DB;
    picture->predelay_ms = 0.0f;
    picture->rt60[0] = picture->rt60[1] = picture->rt60_output = {Rt60Kind::silent, 0.0f};
    picture->octave_bands = 0;
    for (Rt60& r : picture->octave_rt60)
        r = {Rt60Kind::silent, 0.0f};
    picture->title = nullptr;
}
