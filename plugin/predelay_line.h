// The pre-delay line: a ring of PREDELAY_CAPACITY samples inside the instance,
// read at a whole-sample delay that glides toward the block's target through
// a one-pole smoother. The fields live in ReverbInstance.
#pragma once

#include <cstdint>
#include <cstring>

#include "reverb_instance.h"

// Block rate: sets predelay_target from the control in milliseconds. The
// control is limited to 0..150 ms (NaN counts as 150), converted to whole
// samples at the instance's rate and capped at PREDELAY_CAPACITY.
void predelay_line_set_target(ReverbInstance* self, float predelay_ms);

// Sample rate: advances the write position, glides the delay one step,
// writes p and returns the value the rounded-up smoothed delay points at.
// A delay of 0 returns p itself. Compares replace the remainders (identical
// for the ranges involved) to keep divisions out of the sample loop.
static inline float predelay_line_step(ReverbInstance* self, float p)
{
    int32_t write = self->predelay_write_index + 1;
    if (write >= PREDELAY_CAPACITY)
        write = 0;
    self->predelay_write_index = write;

    const double smoothed =
        self->predelay_smoothed * self->smooth_coef + self->predelay_target * self->smooth_feed;
    self->predelay_smoothed = smoothed;

    self->predelay_buffer[write] = p;
    if (p != 0.0f)
        self->predelay_zero_writes = 0;
    else if (self->predelay_zero_writes < PREDELAY_CAPACITY)
        ++self->predelay_zero_writes;

    int32_t read = int32_t(double(write + PREDELAY_CAPACITY) - smoothed);
    // A smoothed delay above CAPACITY - 1 rounds up to the full ring and would
    // land on the value just written; the oldest value held is the closest
    // the ring can give.
    if (read <= write)
        read = write + 1;
    if (read >= PREDELAY_CAPACITY)
        read -= PREDELAY_CAPACITY;
    return self->predelay_buffer[read];
}

// A stretch of `count` steps whose read distance is known in advance:
// the glide has settled (a step leaves the smoothed delay as it is, and the
// step is a fixed function of the delay, so every later step does too), and
// the write position does not wrap inside the stretch. The distance read
// minus write, int32_t(double(write + CAPACITY) - smoothed) - write, then
// takes at most two neighbouring values and never decreases as write grows
// (only the rounding of the subtraction varies, and coarser spacing of
// doubles only rounds up more), so when the first and the last step of the
// stretch agree every step between does. Returns that distance, or
// PREDELAY_NO_OFFSET when it cannot be known in advance.
constexpr int32_t PREDELAY_NO_OFFSET = -1 - PREDELAY_CAPACITY;

static inline int32_t predelay_line_stretch_offset(const ReverbInstance* self, uint32_t count)
{
    const double smoothed = self->predelay_smoothed;
    if (smoothed * self->smooth_coef + self->predelay_target * self->smooth_feed != smoothed)
        return PREDELAY_NO_OFFSET;
    int32_t first = self->predelay_write_index + 1;
    if (first >= PREDELAY_CAPACITY)
        first = 0;
    const int32_t last = first + int32_t(count) - 1;
    if (last >= PREDELAY_CAPACITY)
        return PREDELAY_NO_OFFSET;
    const int32_t at_first = int32_t(double(first + PREDELAY_CAPACITY) - smoothed) - first;
    const int32_t at_last = int32_t(double(last + PREDELAY_CAPACITY) - smoothed) - last;
    return at_first == at_last ? at_first : PREDELAY_NO_OFFSET;
}

// The position the next step writes.
static inline int32_t predelay_line_next_write(const ReverbInstance* self)
{
    const int32_t write = self->predelay_write_index + 1;
    return write >= PREDELAY_CAPACITY ? 0 : write;
}

// One step of a stretch with a known read distance `offset` (from
// predelay_line_stretch_offset), as predelay_line_step would take it at
// position `write`: writes p and returns what the step reads, without the
// glide's arithmetic, which would change nothing. The write position and
// the silence count are left to predelay_line_end_stretch.
static inline float predelay_line_step_settled(ReverbInstance* self, float p, int32_t write,
                                               int32_t offset)
{
    self->predelay_buffer[write] = p;
    // As in predelay_line_step: a read at or before the write gives the
    // oldest value instead.
    int32_t read = write + (offset > 0 ? offset : 1);
    if (read >= PREDELAY_CAPACITY)
        read -= PREDELAY_CAPACITY;
    return self->predelay_buffer[read];
}

// True when `count` steps from predelay_line_next_write on stay inside the
// ring without wrapping around.
static inline bool predelay_line_stretch_fits(const ReverbInstance* self, uint32_t count)
{
    return predelay_line_next_write(self) + int32_t(count) <= PREDELAY_CAPACITY;
}

// The glide over a stretch that does not wrap (predelay_line_stretch_fits),
// held in registers: each step glides, writes and reads as
// predelay_line_step does, without the wrap test of the write position or
// the silence count, which predelay_line_end_stretch does for the stretch.
struct PredelayGlide {
    double smoothed;  // the gliding delay
    double coef;      // smooth_coef
    double feed;      // predelay_target * smooth_feed, the same every step
    double position;  // double(write + PREDELAY_CAPACITY) of the next step
    int32_t write;    // the position the next step writes
};

static inline PredelayGlide predelay_line_glide_begin(const ReverbInstance* self)
{
    const int32_t write = predelay_line_next_write(self);
    return {self->predelay_smoothed, self->smooth_coef,
            self->predelay_target * self->smooth_feed, double(write + PREDELAY_CAPACITY), write};
}

// One step of the glide: the position the step reads (after the write at
// glide->write), and the glide moved on to the next step.
static inline int32_t predelay_line_glide_read(PredelayGlide* glide)
{
    glide->smoothed = glide->smoothed * glide->coef + glide->feed;
    const int32_t write = glide->write;
    int32_t read = int32_t(glide->position - glide->smoothed);
    // As in predelay_line_step: a read at or before the write gives the
    // oldest value instead.
    if (read <= write)
        read = write + 1;
    if (read >= PREDELAY_CAPACITY)
        read -= PREDELAY_CAPACITY;
    glide->write = write + 1;
    glide->position += 1.0;
    return read;
}

static inline float predelay_line_step_gliding(ReverbInstance* self, PredelayGlide* glide, float p)
{
    self->predelay_buffer[glide->write] = p;
    return self->predelay_buffer[predelay_line_glide_read(glide)];
}

// True when no read of a stretch of `count` steps whose delay holds still
// (`offset` from predelay_line_stretch_offset, not PREDELAY_NO_OFFSET)
// reaches a value the stretch writes: then all its reads can be made
// first (predelay_line_read_held) and its writes after them
// (predelay_line_stretch_slots, then predelay_line_end_stretch). Step j
// reads first + j + ahead, around the ring: never a slot of this stretch
// while ahead + count stays within the ring. (A gliding delay steps with
// its writes: its own recurrence then runs beside the filters' instead of
// ahead of them, which takes less time.)
static inline bool predelay_line_reads_apart(uint32_t count, int32_t offset)
{
    const int32_t ahead = offset > 0 ? offset : 1;
    return offset != PREDELAY_NO_OFFSET && ahead <= PREDELAY_CAPACITY - int32_t(count);
}

// The `count` reads of a stretch whose reads are apart from its writes,
// into `delayed`.
static inline void predelay_line_read_held(const ReverbInstance* self, uint32_t count,
                                           int32_t offset, float* delayed)
{
    const float* ring = self->predelay_buffer;
    int32_t read = predelay_line_next_write(self) + (offset > 0 ? offset : 1);
    if (read >= PREDELAY_CAPACITY)
        read -= PREDELAY_CAPACITY;
    const uint32_t to_end = uint32_t(PREDELAY_CAPACITY - read);
    const uint32_t straight = count < to_end ? count : to_end;
    std::memcpy(delayed, ring + read, sizeof(float) * straight);
    if (straight < count)
        std::memcpy(delayed + straight, ring, sizeof(float) * (count - straight));
}

// The `count` slots a stretch whose reads are apart writes, in order (a
// held stretch does not wrap).
static inline float* predelay_line_stretch_slots(ReverbInstance* self)
{
    return self->predelay_buffer + predelay_line_next_write(self);
}

// After `count` settled or gliding steps from predelay_line_next_write on
// (the glide's delay already stored back): moves the
// write position to the last of them and counts the zeros written, as the
// single steps would have.
static inline void predelay_line_end_stretch(ReverbInstance* self, uint32_t count)
{
    const int32_t first = predelay_line_next_write(self);
    const int32_t last = first + int32_t(count) - 1;
    self->predelay_write_index = last;
    int32_t k = last;
    while (k >= first && self->predelay_buffer[k] == 0.0f)
        --k;
    if (k >= first)
        self->predelay_zero_writes = last - k;
    else
        self->predelay_zero_writes = PREDELAY_CAPACITY - self->predelay_zero_writes <= int32_t(count)
                                         ? PREDELAY_CAPACITY
                                         : self->predelay_zero_writes + int32_t(count);
}

// True when the whole line holds zeros.
static inline bool predelay_line_is_silent(const ReverbInstance* self)
{
    return self->predelay_zero_writes == PREDELAY_CAPACITY;
}

// Steps a silent line over `count` zeros: the write position and the glide
// move exactly as `count` sample steps would move them; the memory, all
// zeros, would only take more zeros.
static inline void predelay_line_skip_silence(ReverbInstance* self, uint32_t count)
{
    self->predelay_write_index =
        int32_t((uint32_t(self->predelay_write_index) + count) % uint32_t(PREDELAY_CAPACITY));
    // The glide step is a non-decreasing function of the delay, so once a
    // step leaves the delay unchanged every later one does too: the loop
    // stops there, with the value the remaining steps would give.
    const double feed = self->predelay_target * self->smooth_feed;
    const double coef = self->smooth_coef;
    double smoothed = self->predelay_smoothed;
    // Two steps per pass spare the register copies of a one-step loop.
#pragma GCC unroll 2
    for (uint32_t i = 0; i < count; ++i) {
        const double next = smoothed * coef + feed;
        if (next == smoothed)
            break;
        smoothed = next;
    }
    self->predelay_smoothed = smoothed;
}
