// LaneDoubles: the doubles of one vector of floats, widened, in PARTS vectors
// of LANES doubles each (the same vector types the intrinsics use). Its
// arithmetic works part by part, so that the stages' double-precision steps
// read as the one-sample code does, whatever the width.
#pragma once

namespace {

template <int PARTS, int LANES>
struct LaneDoubles {
    typedef double Part __attribute__((vector_size(8 * LANES)));
    Part part[PARTS];
};

template <int P, int N>
inline LaneDoubles<P, N> operator+(LaneDoubles<P, N> a, LaneDoubles<P, N> b)
{
#pragma GCC unroll 2
    for (int p = 0; p < P; ++p)
        a.part[p] = a.part[p] + b.part[p];
    return a;
}

template <int P, int N>
inline LaneDoubles<P, N> operator-(LaneDoubles<P, N> a, LaneDoubles<P, N> b)
{
#pragma GCC unroll 2
    for (int p = 0; p < P; ++p)
        a.part[p] = a.part[p] - b.part[p];
    return a;
}

template <int P, int N>
inline LaneDoubles<P, N> operator*(LaneDoubles<P, N> a, LaneDoubles<P, N> b)
{
#pragma GCC unroll 2
    for (int p = 0; p < P; ++p)
        a.part[p] = a.part[p] * b.part[p];
    return a;
}

// c (the same value in every lane) times each lane.
template <int P, int N>
inline LaneDoubles<P, N> operator*(typename LaneDoubles<P, N>::Part c, LaneDoubles<P, N> a)
{
#pragma GCC unroll 2
    for (int p = 0; p < P; ++p)
        a.part[p] = c * a.part[p];
    return a;
}

}  // namespace
