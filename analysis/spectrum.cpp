#include "spectrum.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>

int SegmentLengthFor(int chosen, std::int64_t points)
{
    int length = spectrum::MinSegmentLength;
    while (length < chosen && length < spectrum::MaxSegmentLength)
        length *= 2;
    while (length > points && length > spectrum::SmallestSegment)
        length /= 2;
    return length <= points ? length : 0;
}

double TSpectrum::Power() const
{
    double sum = 0;
    for (const float d : Density)
        sum += d;
    return sum * BinWidth;
}

double ToDecibels(double density)
{
    return density > 0 ? 10.0 * std::log10(density) : -300.0;
}

// A periodic Hann window of one length: its transform is L/2 at bin 0,
// -L/4 at bins 1 and L-1 and zero elsewhere (here computed from the float
// values used).
struct TWelchSum::TWindow {
    std::vector<float> Values;
    double Transform[2] = {0, 0};  // at bins 0 and 1 (real)
    double Squares = 0;

    explicit TWindow(int length) : Values(std::size_t(length))
    {
        const double pi = std::acos(-1.0);
        for (int n = 0; n < length; ++n) {
            const float w = float(0.5 - 0.5 * std::cos(2 * pi * n / length));
            Values[std::size_t(n)] = w;
            Transform[0] += w;
            Transform[1] += w * std::cos(2 * pi * n / length);
            Squares += double(w) * w;
        }
    }

    static const TWindow& ForLength(int length)
    {
        static std::mutex lock;
        static std::map<int, std::unique_ptr<TWindow>> windows;
        std::lock_guard<std::mutex> guard(lock);
        std::unique_ptr<TWindow>& window = windows[length];
        if (!window)
            window = std::make_unique<TWindow>(length);
        return *window;
    }
};

TWelchSum::TWelchSum(int segmentLength, float offset)
    : m_length(segmentLength),
      m_offset(offset),
      m_fft(&TRealFft::ForLength(segmentLength)),
      m_window(&TWindow::ForLength(segmentLength)),
      m_in(std::size_t(segmentLength)),
      m_out(std::size_t(segmentLength) / 2 + 1),
      m_power(std::size_t(segmentLength) / 2 + 1, 0.0),
      m_batch(std::size_t(segmentLength) / 2 + 1, 0.0f)
{
}

namespace {

// The two loops around each transform, compiled also for AVX2 and chosen
// when the processor has it: with the transform itself (FFTW picks its own
// SIMD) they make up all the work of a segment.
__attribute__((target_clones("avx2", "default"))) void Windowed(const float* values, const float* window,
                                                                float offset, float* out, int count)
{
    for (int n = 0; n < count; ++n)
        out[n] = (values[n] - offset) * window[n];
}

__attribute__((target_clones("avx2", "default"))) void AddPower(const float* transform, float* power, int bins,
                                                                float sign)
{
    for (int k = 0; k < bins; ++k) {
        const float re = transform[2 * k];
        const float im = transform[2 * k + 1];
        power[k] += sign * (re * re + im * im);
    }
}

}  // namespace

void TWelchSum::Accumulate(const float* values, double sign)
{
    Windowed(values, m_window->Values.data(), m_offset, m_in.Data(), m_length);
    m_fft->Execute(m_in.Data(), m_out.Data());
    const float* const out = &m_out.Data()[0][0];
    AddPower(out, m_batch.data(), m_length / 2 + 1, float(sign));
    if (++m_batched == BatchSegments) {
        for (std::size_t k = 0; k < m_batch.size(); ++k) {
            m_power[k] += m_batch[k];
            m_batch[k] = 0;
        }
        m_batched = 0;
    }
    m_real[0] += sign * out[0];
    m_real[1] += sign * out[2];
    m_segments += sign > 0 ? 1 : -1;
}

TSpectrum TWelchSum::Result(double mean, TSampleRate rate) const
{
    TSpectrum result;
    result.Rate = rate;
    result.SegmentLength = m_length;
    result.Segments = m_segments;
    result.BinWidth = rate.PerUnit / m_length;
    if (m_segments <= 0)
        return result;
    const std::size_t bins = m_power.size();
    result.Density.resize(bins);
    const double segments = double(m_segments);
    // The inner bins stand for their mirror images too.
    const double edgeScale = 1.0 / (segments * rate.PerUnit * m_window->Squares);
    for (std::size_t k = 0; k < bins; ++k) {
        double power = m_power[k] + m_batch[k];
        if (k < 2) {
            // |X - d W|^2 summed over the segments, d the mean's distance
            // from the offset and W the window's transform (real).
            const double d = mean - double(m_offset);
            const double w = m_window->Transform[k];
            power += -2 * d * w * m_real[k] + segments * d * d * w * w;
        }
        const double scale = (k == 0 || k + 1 == bins) ? edgeScale : 2 * edgeScale;
        result.Density[k] = float(std::max(0.0, power) * scale);
    }
    result.Peak = FindPeak(result.Density, result.BinWidth, rate.PerUnit, m_window->Transform[0], m_window->Squares);
    return result;
}

TSpectralPeak FindPeak(const std::vector<float>& density, double binWidth, double rate, double s1, double s2)
{
    TSpectralPeak peak;
    const std::size_t bins = density.size();
    if (bins < 3)
        return peak;
    // The highest bin standing above both neighbours (the last bin's
    // mirror image is its left one): the slope of the constant component's
    // lobe never counts.
    std::size_t best = 0;
    for (std::size_t k = 1; k < bins; ++k) {
        const float right = k + 1 < bins ? density[k + 1] : density[k - 1];
        if (density[k] >= density[k - 1] && density[k] >= right && density[k] > 0
            && (best == 0 || density[k] > density[best]))
            best = k;
    }
    if (best == 0)
        return peak;
    // The parabola through the logarithms gives where the peak lies
    // between bins to a few hundredths of a bin; its own top would
    // overstate the height by up to 4 % halfway between bins, so the
    // height comes from the Hann window's lobe at that offset instead:
    // sinc(d) / (1 - d^2) of the height on a bin.
    const double a = density[best - 1];
    const double b = density[best];
    const double c = best + 1 < bins ? density[best + 1] : a;
    double offset = 0;
    if (a > 0 && c > 0) {
        const double la = std::log(a), lb = std::log(b), lc = std::log(c);
        const double curvature = la - 2 * lb + lc;
        if (curvature < 0)
            offset = std::clamp(0.5 * (la - lc) / curvature, -0.5, 0.5);
    }
    const double pi = std::acos(-1.0);
    const double lobe = offset == 0 ? 1.0 : std::sin(pi * offset) / (pi * offset) / (1 - offset * offset);
    peak.Found = true;
    peak.Frequency = (double(best) + offset) * binWidth;
    peak.Density = b / (lobe * lobe);
    // A sine of amplitude A puts (A s1 / 2)^2 in its bin of each segment,
    // which the scaling makes a density of A^2 s1^2 / (2 rate s2).
    peak.Amplitude = std::sqrt(2 * rate * s2 * peak.Density) / s1;
    return peak;
}
