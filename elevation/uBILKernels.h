#pragma once

// The interpolation kernels that resampling and reprojection share, as
// functions of the distance in samples.

#include <algorithm>
#include <cmath>

namespace bil {

// Keys' cubic convolution kernel with a = -0.5.
inline double keysCubic(double x)
{
    x = std::abs(x);
    if (x < 1) return (1.5 * x - 2.5) * x * x + 1;
    if (x < 2) return ((-0.5 * x + 2.5) * x - 4) * x + 2;
    return 0;
}

// Bilinear interpolation's kernel.
inline double triangle(double x)
{
    return std::max(0.0, 1 - std::abs(x));
}

} // namespace bil
