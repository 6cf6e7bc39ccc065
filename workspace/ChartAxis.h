// An axis of the tool windows' charts: values to pixels and back, linear or logarithmic.
#pragma once

#include <cmath>

// A logarithmic axis spaces values by log(1 + value - Minimum), so its minimum (a count of 0, a
// gray value of 0) still has a place at the axis' start instead of lying at minus infinity.
struct ChartAxis {
    double Minimum = 0;
    double Maximum = 1;
    bool Logarithmic = false;
    int StartPixel = 0; // pixel of Minimum
    int EndPixel = 100; // pixel of Maximum; below StartPixel for an upward axis

    double fraction(double v) const
    {
        const double span = Maximum - Minimum;
        if (span == 0)
            return 0;
        if (!Logarithmic)
            return (v - Minimum) / span;
        const double top = std::log1p(std::fabs(span));
        const double d = span > 0 ? v - Minimum : Minimum - v;
        return d <= 0 ? 0 : std::log1p(d) / top;
    }
    double toPixelF(double v) const { return StartPixel + fraction(v) * (EndPixel - StartPixel); }
    int toPixel(double v) const { return int(std::lround(toPixelF(v))); }
    double toValue(double pixel) const
    {
        if (EndPixel == StartPixel)
            return Minimum;
        const double f = (pixel - StartPixel) / double(EndPixel - StartPixel);
        const double span = Maximum - Minimum;
        if (!Logarithmic)
            return Minimum + f * span;
        const double d = std::expm1(f * std::log1p(std::fabs(span)));
        return span >= 0 ? Minimum + d : Minimum - d;
    }
};
