#pragma once
// Welch's estimate of the power spectral density of a range of values:
// segments of a power-of-two length L, 50 % overlap, a periodic Hann
// window, the mean of the whole range removed, the squared magnitudes of
// the segments' transforms averaged; one-sided (bins 0 .. L/2, the inner
// ones doubled) and scaled so that the density summed over frequency
// equals the mean square of the windowed segments, which for a steady
// signal is the range's variance (Parseval).
//
// The mean moves only bins 0 and 1 of a Hann-windowed segment (the window's
// own transform is zero elsewhere), so segments are transformed once, about
// a fixed offset, and the mean of the range is applied when the spectrum is
// read: a range that grows or slides adds and drops segments without
// transforming again those it keeps (spectrum_tracker.h).
// Qt-free.

#include "fft.h"

#include <cstdint>
#include <vector>

namespace spectrum {
constexpr int MinSegmentLength = 256;
constexpr int MaxSegmentLength = 65536;
constexpr int DefaultSegmentLength = 1024;
// Below this, a range has no spectrum.
constexpr int SmallestSegment = 4;
}  // namespace spectrum

// The segment length for points values when chosen is asked: chosen made a
// power of two within [MinSegmentLength, MaxSegmentLength], then halved
// while longer than the points (down to SmallestSegment; 0 when even that
// does not fit).
int SegmentLengthFor(int chosen, std::int64_t points);

// Samples per unit of time: per second (Hertz) when the points have
// receive times, else 1 per point, the frequencies then in cycles per point.
struct TSampleRate {
    double PerUnit = 1;
    bool Hertz = false;

    bool operator==(const TSampleRate& other) const { return PerUnit == other.PerUnit && Hertz == other.Hertz; }
};

// The strongest component but the constant one: its frequency refined by a
// parabola through the logarithms of the density at its bin and the two
// beside it, its height by the Hann window's lobe at that offset.
struct TSpectralPeak {
    bool Found = false;
    double Frequency = 0;  // Hz or cycles per point
    double Density = 0;    // the density at the refined peak
    double Amplitude = 0;  // of the sine that would give that peak
};

struct TSpectrum {
    int SegmentLength = 0;  // 0: no spectrum (too few points)
    std::int64_t Segments = 0;
    TSampleRate Rate;
    double BinWidth = 0;  // Rate / SegmentLength
    // Bins 0 .. SegmentLength/2: squared value units per Hz (per cycle per
    // point without times).
    std::vector<float> Density;
    TSpectralPeak Peak;

    bool Empty() const { return Segments == 0; }
    double Frequency(std::size_t bin) const { return double(bin) * BinWidth; }
    // The density summed over frequency: the power, for Parseval.
    double Power() const;
};

// 10 log10(density), -300 for 0.
double ToDecibels(double density);

// The sum of the squared transforms of segments of one length, about a
// fixed offset, and of the real values of bins 0 and 1 (what the mean
// moves). Segments can be added and taken back; takes memory of the order
// of the length, whatever the number of segments.
class TWelchSum {
public:
    // offset: subtracted from every value before the window, so that the
    // single-precision transform works on values near 0 (any value near
    // the range's mean).
    TWelchSum(int segmentLength, float offset);

    int SegmentLength() const { return m_length; }
    std::int64_t Segments() const { return m_segments; }

    // The segment whose SegmentLength() values start at values.
    void Add(const float* values) { Accumulate(values, 1.0); }
    void Remove(const float* values) { Accumulate(values, -1.0); }

    // The spectrum of the segments added, with mean as the range's mean.
    TSpectrum Result(double mean, TSampleRate rate) const;

private:
    void Accumulate(const float* values, double sign);

    struct TWindow;
    // Segments added up in single precision before going into m_power:
    // few enough to lose nothing that matters, and the sum of each
    // segment then costs no conversions.
    static constexpr int BatchSegments = 32;

    int m_length;
    float m_offset;
    const TRealFft* m_fft;
    const TWindow* m_window;  // shared by every sum of this length
    TFftBuffer<float> m_in;
    TFftBuffer<fftwf_complex> m_out;
    std::vector<double> m_power;  // per bin, over the segments
    std::vector<float> m_batch;   // per bin, over the latest segments
    int m_batched = 0;
    double m_real[2] = {0, 0};    // real values of bins 0 and 1, over the segments
    std::int64_t m_segments = 0;
};

// Finds the peak of a one-sided density (bins 0 .. n-1, bin width
// binWidth) from a periodic Hann window with sum s1 and sum of squares s2,
// at rate.
TSpectralPeak FindPeak(const std::vector<float>& density, double binWidth, double rate, double s1, double s2);
