#pragma once
// What the chart's suites share: charts over sessions of their own, noisy
// readings like the device's, and comparisons of pictures pixel by pixel.

#include "accelerometer_chart.h"
#include "session.h"
#include "tchart.h"

#include <QColor>
#include <QImage>
#include <QRect>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

#include <initializer_list>
#include <random>
#include <string>

inline const QColor AxisColours[3] = {QColor(0x44, 0x66, 0xA3), QColor(0xF3, 0x9C, 0x35), QColor(0xF1, 0x4C, 0x14)};

// Values in g: three sensors of their own, one mounted upside down.
inline TValueScale InG()
{
    TValueScale scale;
    scale.Maps = {{2048, 400}, {2050.5, -410.25}, {1990, 397.3}};
    scale.Unit = QStringLiteral("g");
    scale.AxisTitle = QStringLiteral("Aceleração (g)");
    scale.Decimals = 3;
    scale.Step = 1 / 410.25;
    return scale;
}

inline long CountColour(const QImage& image, const QColor& colour)
{
    const QRgb wanted = colour.rgba();
    long count = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            count += line[x] == wanted;
    }
    return count;
}

// Bounding box of the pixels that differ between two pictures.
inline QRect Difference(const QImage& a, const QImage& b)
{
    QRect box;
    for (int y = 0; y < a.height(); ++y) {
        const auto* pa = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* pb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            if (pa[x] != pb[x])
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

inline long DifferentPixels(const QImage& a, const QImage& b)
{
    long count = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* pa = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* pb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            count += pa[x] != pb[x];
    }
    return count;
}

// A chart showing a session of its own; the session outlives the chart.
struct TAccelerometer {
    TSession Sink;
    TChart Chart;
    TAccelerometerSeries Series;

    explicit TAccelerometer(QSize size = QSize(400, 250)) : Series(Setup(Chart, Sink, size)) {}
    static TAccelerometerSeries Setup(TChart& chart, TSession& session, QSize size)
    {
        chart.resize(size);
        return ApplyAccelerometerChart(chart, session);
    }
    TFastLineSeries* At(int axis) const
    {
        return axis == 0 ? Series.Series1 : axis == 1 ? Series.Series2 : Series.Series3;
    }
};

// Readings like the device's: a slow swing and noise, 12-bit integers,
// with held values; the same for every chart that asks.
class TNoisy {
public:
    explicit TNoisy(unsigned seed = 99, int noise = 400) : m_rng(seed), m_noise(-noise, noise) {}
    // Appends count more points to each axis of the sessions.
    void Fill(std::initializer_list<TSession*> sessions, int count)
    {
        for (int n = 0; n < count; ++n, ++m_index) {
            for (int axis = 0; axis < 3; ++axis) {
                double v = m_last[axis];
                if (m_hold(m_rng) != 0)
                    v = std::clamp(std::round(1500.0 + 700 * axis + 300 * std::sin(m_index / 3000.0) + m_noise(m_rng)),
                                   0.0, 4095.0);
                m_last[axis] = v;
                for (TSession* session : sessions)
                    session->Append(TAxis(axis), v);
            }
        }
    }

private:
    std::mt19937 m_rng;
    std::uniform_int_distribution<int> m_noise;
    std::uniform_int_distribution<int> m_hold{0, 20};
    double m_last[3] = {2048, 2048, 2048};
    int m_index = 0;
};

inline void FillNoisy(TSession& session, int points, unsigned seed = 99)
{
    TNoisy(seed).Fill({&session}, points);
}

inline TChartView Range(double minX, double maxX)
{
    TChartView view;
    view.Whole = false;
    view.MinX = minX;
    view.MaxX = maxX;
    return view;
}

inline QValueAxis* Axis(TChart& chart, Qt::Orientation orientation)
{
    return qobject_cast<QValueAxis*>(chart.Chart()->axes(orientation).first());
}

// A band of the left axis for a zoomed view: from Low plus up to Starts,
// Narrowest plus up to Widths wide.
struct TValueBand {
    double Low;
    double Starts;
    double Narrowest;
    double Widths;
};

// Twelve random views of a history of points, shown by reduced and by
// full (drawing every point): widths from 10 points (a segment wider than
// many columns) to nearly everything, log-uniform, a series hidden now and
// then, and every third with the left axis zoomed to a narrow band, so that
// lines leave at the top and bottom. The two pictures are the same pixel
// for pixel, and only what is in view reaches Qt Charts.
inline void ExpectSameAtRandomViews(TAccelerometer& reduced, TAccelerometer& full, int points, unsigned seed,
                                    const TValueBand& band)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int round = 0; round < 12; ++round) {
        const double width = 10 * std::pow(points / 10.0 * 0.9, unit(rng));
        const double minX = unit(rng) * (points - width);
        TChartView view = Range(minX, minX + width);
        view.Hidden = {false, round % 4 == 1, false};
        if (round % 3 == 2) {
            view.ZoomedY = true;
            view.MinY = band.Low + band.Starts * unit(rng);
            view.MaxY = view.MinY + band.Narrowest + band.Widths * unit(rng);
        }
        SCOPED_TRACE(round);
        reduced.Chart.SetView(view);
        full.Chart.SetView(view);
        const QImage a = reduced.Chart.Picture();
        const QImage b = full.Chart.Picture();
        ASSERT_EQ(Axis(reduced.Chart, Qt::Horizontal)->min(), minX);
        EXPECT_EQ(DifferentPixels(a, b), 0) << minX << " " << width;
        EXPECT_LT(reduced.Chart.DrawnPointCount(), 3 * 8 * reduced.Chart.width() + 200);
    }
}
