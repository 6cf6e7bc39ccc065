// Gray-value filters over 24-bit image buffers. Filters that must not see their own results keep
// the original gray values of the rows they still need in a few row buffers and write each row
// back as soon as it is done, instead of filtering into a second image and copying it back.
#include "image/GrayFilters.h"

#include "image/TFastDIB.h"
#include "platform/Delphi.h"

#include <QImage>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace {

// Images the filters work on: 24 bits with pixels.
bool filterable(const TFastDIB& Dib)
{
    return Dib.Info.Header.BitCount == 24 && Dib.Bits && Dib.Scanlines && Dib.Info.Header.Width > 0
           && Dib.AbsHeight > 0;
}

struct GrayTable {
    std::array<quint8, 766> v; // (r + g + b) div 3 for every sum
    GrayTable()
    {
        for (int s = 0; s < 766; ++s)
            v[s] = quint8(s / 3);
    }
    quint8 operator()(const TFColor& c) const { return v[c.b + c.g + c.r]; }
};

const GrayTable gray;

void grayRow(const TFastDIB& Dib, int y, quint8* out)
{
    const TFColor* p = Dib.Pixels24[y];
    const qint64 width = Dib.Info.Header.Width;
    for (qint64 x = 0; x < width; ++x)
        out[x] = gray(p[x]);
}

void writeGray(TFColor* row, const quint8* values, qint64 width)
{
    for (qint64 x = 0; x < width; ++x)
        row[x] = TFColor{values[x], values[x], values[x]};
}

// Every pixel through a table of its gray value, in place.
void mapGray(TFastDIB& Dib, const std::array<quint8, 256>& table)
{
    if (!filterable(Dib))
        return;
    const qint64 width = Dib.Info.Header.Width;
    for (int y = 0; y < Dib.AbsHeight; ++y) {
        TFColor* p = Dib.Pixels24[y];
        for (qint64 x = 0; x < width; ++x) {
            const quint8 v = table[gray(p[x])];
            p[x] = TFColor{v, v, v};
        }
    }
}

// The rows y - Radius .. y + Radius (clamped) of per-pixel values taken from the image before the
// filter wrote anything. Row r lives in slot r mod (2 Radius + 1); a row is read when the window
// first reaches it, which is always before the filter writes it back. Each row is padded with
// Radius copies of its first and last value, so columns -Radius .. width - 1 + Radius read the
// clamped neighbours without a test per pixel.
class RowWindow {
public:
    template <typename Read>
    RowWindow(const TFastDIB& Dib, int Radius, Read read)
        : m_radius(Radius), m_slots(2 * Radius + 1), m_height(Dib.AbsHeight), m_width(Dib.Info.Header.Width),
          m_stride(m_width + 2 * qint64(Radius)), m_rows(size_t(m_slots) * size_t(m_stride))
    {
        for (int r = 0; r <= std::min(Radius, m_height - 1); ++r)
            load(r, read);
    }
    // Call before working on row y (y counting up from 0).
    template <typename Read>
    void advance(int y, Read read)
    {
        const qint64 next = qint64(y) + m_radius;
        if (y > 0 && next < m_height)
            load(int(next), read);
    }
    // Values of memory row y + dy, clamped into the image; index 0 is column 0.
    const quint8* row(int y, int dy) const
    {
        const int r = int(std::clamp<qint64>(qint64(y) + dy, 0, m_height - 1));
        return m_rows.data() + size_t(r % m_slots) * size_t(m_stride) + m_radius;
    }

private:
    template <typename Read>
    void load(int r, Read read)
    {
        quint8* p = m_rows.data() + size_t(r % m_slots) * size_t(m_stride) + m_radius;
        read(r, p);
        std::fill(p - m_radius, p, p[0]);
        std::fill(p + m_width, p + m_width + m_radius, p[m_width - 1]);
    }
    int m_radius;
    int m_slots;
    int m_height;
    qint64 m_width;
    qint64 m_stride;
    std::vector<quint8> m_rows;
};

inline quint8 min3(quint8 a, quint8 b, quint8 c)
{
    const quint8 m = a < b ? a : b;
    return m < c ? m : c;
}

inline quint8 max3(quint8 a, quint8 b, quint8 c)
{
    const quint8 m = a > b ? a : b;
    return m > c ? m : c;
}

inline quint8 med3(quint8 a, quint8 b, quint8 c)
{
    const quint8 lo = a < b ? a : b, hi = a > b ? a : b;
    const quint8 m = hi < c ? hi : c;
    return lo > m ? lo : m;
}

inline qint64 clampColumn(qint64 x, qint64 width)
{
    return std::clamp<qint64>(x, 0, width - 1);
}

// Round(t) limited to 0..255; NaN gives 0 as Round does.
inline quint8 roundToByte(double t)
{
    if (!(t > 0))
        return 0;
    if (t >= 255)
        return 255;
    return quint8(std::nearbyint(t)); // halves to even in the default rounding mode
}

} // namespace

int MedianOf(std::span<const int> Values)
{
    const size_t n = Values.size();
    if (n == 0)
        return 0;
    std::vector<int> v(Values.begin(), Values.end());
    std::sort(v.begin(), v.end(), std::greater<int>()); // descending, as the middle is counted
    if (n % 2 == 1)
        return v[n / 2];
    return Round((double(v[n / 2 - 1]) + double(v[n / 2])) / 2);
}

void MedianFilter(TFastDIB& Dib, int Radius)
{
    if (!filterable(Dib) || Radius < 0)
        return;
    const qint64 width = Dib.Info.Header.Width;
    const int height = Dib.AbsHeight;
    // A radius beyond the image adds only repeats of edge rows and columns.
    Radius = int(std::min<qint64>(Radius, std::max<qint64>(width, height)));
    auto read = [&Dib](int y, quint8* out) { grayRow(Dib, y, out); };
    RowWindow rows(Dib, Radius, read);
    std::vector<quint8> out(static_cast<size_t>(width));
    // Radius 1: each column of three sorted once into low, middle and high; the median of the nine
    // is then the median of the largest low, the middle middle and the smallest high of three
    // neighbouring columns.
    const size_t padded = static_cast<size_t>(width) + 2;
    std::vector<quint8> lo(padded), mid(padded), hi(padded);
    std::vector<quint8> values;
    for (int y = 0; y < height; ++y) {
        rows.advance(y, read);
        if (Radius == 1) {
            const quint8* a = rows.row(y, -1) - 1;
            const quint8* b = rows.row(y, 0) - 1;
            const quint8* c = rows.row(y, 1) - 1;
            // Plain min and max of values, without branches, so the loops vectorise.
            for (size_t i = 0; i < padded; ++i) {
                lo[i] = min3(a[i], b[i], c[i]);
                mid[i] = med3(a[i], b[i], c[i]);
                hi[i] = max3(a[i], b[i], c[i]);
            }
            for (qint64 x = 0; x < width; ++x)
                out[x] = med3(max3(lo[x], lo[x + 1], lo[x + 2]), med3(mid[x], mid[x + 1], mid[x + 2]),
                              min3(hi[x], hi[x + 1], hi[x + 2]));
        } else {
            for (qint64 x = 0; x < width; ++x) {
                values.clear();
                for (int dy = -Radius; dy <= Radius; ++dy) {
                    const quint8* g = rows.row(y, dy);
                    for (int dx = -Radius; dx <= Radius; ++dx)
                        values.push_back(g[x + dx]);
                }
                // An odd count: the median is the middle value.
                auto middle = values.begin() + values.size() / 2;
                std::nth_element(values.begin(), middle, values.end());
                out[x] = *middle;
            }
        }
        writeGray(Dib.Pixels24[y], out.data(), width);
    }
}

void BitPlaneFilter(TFastDIB& Dib, const std::array<bool, 8>& Bits, bool Keep, bool Invert)
{
    int mask = 0;
    for (int i = 0; i < 8; ++i)
        if (Bits[i])
            mask |= 1 << i;
    std::array<quint8, 256> table;
    for (int g = 0; g < 256; ++g) {
        int v = Keep ? (g & mask) : ((g & mask) ? 255 : 0);
        table[g] = quint8(Invert ? 255 - v : v);
    }
    mapGray(Dib, table);
}

void ChannelMixGray(TFastDIB& Dib, int Red, int Green, int Blue)
{
    if (!filterable(Dib))
        return;
    // Each term as the products c * percentage / 100 in floating point, looked up per channel value.
    std::array<double, 256> tr, tg, tb;
    for (int c = 0; c < 256; ++c) {
        tr[c] = double(c) * Red / 100;
        tg[c] = double(c) * Green / 100;
        tb[c] = double(c) * Blue / 100;
    }
    const qint64 width = Dib.Info.Header.Width;
    for (int y = 0; y < Dib.AbsHeight; ++y) {
        TFColor* p = Dib.Pixels24[y];
        for (qint64 x = 0; x < width; ++x) {
            const quint8 v = roundToByte(tr[p[x].r] + tg[p[x].g] + tb[p[x].b]);
            p[x] = TFColor{v, v, v};
        }
    }
}

void ThresholdBand(TFastDIB& Dib, int Lower, int Upper, bool Include, bool Keep, bool Invert)
{
    const int top = std::min(Upper, 255);
    std::array<quint8, 256> table;
    for (int g = 0; g < 256; ++g) {
        const bool inBand = g >= Lower && g <= top;
        int v = inBand == Include ? g : 0;
        // A gray value of 0 stays 0 even inside an included band.
        if (!Keep && v != 0)
            v = 255;
        table[g] = quint8(Invert ? 255 - v : v);
    }
    mapGray(Dib, table);
}

void DespeckleFilter(TFastDIB& Dib)
{
    if (!filterable(Dib))
        return;
    const qint64 width = Dib.Info.Header.Width;
    const int height = Dib.AbsHeight;
    auto read = [&Dib, width](int y, quint8* out) {
        const TFColor* p = Dib.Pixels24[y];
        for (qint64 x = 0; x < width; ++x)
            out[x] = p[x].b;
    };
    RowWindow rows(Dib, 1, read);
    std::vector<quint8> out(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        rows.advance(y, read);
        const quint8* a = rows.row(y, -1);
        const quint8* b = rows.row(y, 0);
        const quint8* c = rows.row(y, 1);
        for (qint64 x = 0; x < width; ++x) {
            const int all = a[x - 1] & a[x] & a[x + 1] & b[x - 1] & b[x + 1] & c[x - 1] & c[x] & c[x + 1];
            const int any = a[x - 1] | a[x] | a[x + 1] | b[x - 1] | b[x + 1] | c[x - 1] | c[x] | c[x + 1];
            out[x] = all == 255 || (b[x] != 0 && any != 0) ? 255 : 0;
        }
        writeGray(Dib.Pixels24[y], out.data(), width);
    }
}

void DilateFilter(TFastDIB& Dib)
{
    if (!filterable(Dib))
        return;
    const qint64 width = Dib.Info.Header.Width;
    const int height = Dib.AbsHeight;
    // Only whether a gray value is 0 matters. Flags of the row above hold its new values, flags of
    // the current row turn new as the pixels are written, flags of the row below are still old;
    // at the first and last row the clamped neighbour row is the current row itself, exactly as
    // reading the buffer in place would see it.
    auto flagsOf = [&Dib, width](int y, std::vector<quint8>& out) {
        const TFColor* p = Dib.Pixels24[y];
        for (qint64 x = 0; x < width; ++x)
            out[x] = gray(p[x]) != 0;
    };
    const size_t n = static_cast<size_t>(width);
    std::vector<quint8> above(n), current(n), below(n);
    flagsOf(0, current);
    for (int y = 0; y < height; ++y) {
        if (y + 1 < height)
            flagsOf(y + 1, below);
        const quint8* a = y > 0 ? above.data() : current.data();
        quint8* b = current.data();
        const quint8* c = y + 1 < height ? below.data() : current.data();
        TFColor* p = Dib.Pixels24[y];
        for (qint64 x = 0; x < width; ++x) {
            const qint64 l = clampColumn(x - 1, width), r = clampColumn(x + 1, width);
            quint8 v = 0;
            if (b[x] && (a[l] | a[x] | a[r] | b[l] | b[r] | c[l] | c[x] | c[r]))
                v = 255;
            p[x] = TFColor{v, v, v};
            b[x] = v != 0;
        }
        std::swap(above, current);
        std::swap(current, below);
    }
}

void Convolve3x3(TFastDIB& Dib, const std::array<double, 9>& k)
{
    if (!filterable(Dib))
        return;
    const qint64 width = Dib.Info.Header.Width;
    const int height = Dib.AbsHeight;
    auto read = [&Dib](int y, quint8* out) { grayRow(Dib, y, out); };
    RowWindow rows(Dib, 1, read);
    std::vector<quint8> out(static_cast<size_t>(width));
    // Whole weights of moderate size give whole partial sums, which floating point holds exactly
    // in any order: integer arithmetic then gives the same result, faster.
    const bool whole =
        std::all_of(k.begin(), k.end(), [](double w) { return w == std::trunc(w) && std::abs(w) <= 65536; });
    std::array<int, 9> ki{};
    if (whole)
        for (int i = 0; i < 9; ++i)
            ki[i] = int(k[i]);
    for (int y = 0; y < height; ++y) {
        rows.advance(y, read);
        const quint8* up = rows.row(y, -1);
        const quint8* mid = rows.row(y, 0);
        const quint8* down = rows.row(y, 1);
        if (whole) {
            for (qint64 x = 0; x < width; ++x) {
                const int t = ki[0] * up[x] + ki[1] * down[x] + ki[2] * mid[x + 1] + ki[3] * mid[x - 1]
                              + ki[4] * up[x - 1] + ki[5] * up[x + 1] + ki[6] * down[x - 1] + ki[7] * down[x + 1]
                              + ki[8] * mid[x];
                out[x] = quint8(std::clamp(t, 0, 255));
            }
        } else {
            for (qint64 x = 0; x < width; ++x) {
                // The order of the terms is kept: floating-point sums depend on it.
                const double t = k[0] * up[x] + k[1] * down[x] + k[2] * mid[x + 1] + k[3] * mid[x - 1]
                                 + k[4] * up[x - 1] + k[5] * up[x + 1] + k[6] * down[x - 1] + k[7] * down[x + 1]
                                 + k[8] * mid[x];
                out[x] = roundToByte(t);
            }
        }
        writeGray(Dib.Pixels24[y], out.data(), width);
    }
}

void EdgeEnhanceFilter(TFastDIB& Dib)
{
    Convolve3x3(Dib, {-1, -1, -1, -1, -1, -1, -1, -1, 8});
}

void BrightenBitmap(QImage& Bitmap, int Percent)
{
    if (Bitmap.isNull())
        return;
    int bytes = 0;
    switch (Bitmap.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        bytes = 4;
        break;
    case QImage::Format_RGB888:
    case QImage::Format_BGR888:
        bytes = 3;
        break;
    default:
        Bitmap.convertTo(QImage::Format_RGB888);
        if (Bitmap.format() != QImage::Format_RGB888)
            return; // no memory for the converted picture
        bytes = 3;
        break;
    }
    // Beyond -100 every channel is 0 and from 25500 on every non-zero one 255: limiting the
    // percentage keeps MulDiv's product far from overflow without changing a result.
    const int p = std::clamp(Percent, -1000, 100000);
    std::array<quint8, 256> table;
    for (int c = 0; c < 256; ++c)
        table[c] = ClampByte(qint64(c) + MulDiv(c, p, 100));
    // Colour bytes only: the alpha byte of 32-bit pixels is the fourth (little-endian BGRA).
    const int colours = 3;
    const qint64 width = Bitmap.width();
    for (int y = 0; y < Bitmap.height(); ++y) {
        uchar* row = Bitmap.scanLine(y);
        for (qint64 x = 0; x < width; ++x) {
            uchar* px = row + x * bytes;
            for (int i = 0; i < colours; ++i)
                px[i] = table[px[i]];
        }
    }
}
