// Resizing a TFastDIB into another of the same depth: a fast nearest-neighbour resize and a
// two-pass separable resample with sixteen filter kernels (one family in one pair).
// Weights are 16.16 fixed point (65536 = 1.0); positions and sizes are 64-bit so wide scans work.
#pragma once

class TFastDIB;

// Kernel numbers of ResampleFiltered; the resampling setting picks 0, 11 and 14.
enum ResampleKernel : int {
    rkPoint = 0,
    rkBox = 1,
    rkTriangle = 2,
    rkCosine = 3,
    rkHamming = 4,
    rkHermite = 5,
    rkQuadraticBell = 6,
    rkCatmullRom = 7,
    rkBSpline = 8,
    rkSpline16 = 9,
    rkMitchell = 10,
    rkGaussian = 11,
    rkSpline36 = 12,
    rkSinc = 13,
    rkLanczos3 = 14,
    rkBlackmanSinc = 15,
    ResampleKernelCount = 16,
};

// Nearest-neighbour resize of Src into the already sized Dst; 8, 16, 24 and 32 bits. Every
// destination pixel samples the source at the centre of its span. Nothing happens when either
// image is empty, has no pixels, or the depths differ.
void ResizeNearest(const TFastDIB& Src, TFastDIB& Dst);

// Filtered resample of Src into the already sized Dst with kernel 0..15; 8, 16, 24 and 32 bits.
// Nothing happens for another kernel number, an empty image, or differing depths.
void ResampleFiltered(const TFastDIB& Src, TFastDIB& Dst, int Kernel);

// Threads a filtered resample may use, the calling thread included; 0 (the default) means one
// per processor thread. Small images are always filtered by the calling thread alone.
void SetResampleThreads(int count);

// The widest vectors a filtered resample may use: 256 bits (AVX2, the default) or 0 for none; the
// processor still decides what it has. Both give the same bytes; tests walk both.
void SetResampleVectorBits(int bits);

// The smallest integer not below x.
int CeilInt(double x);
