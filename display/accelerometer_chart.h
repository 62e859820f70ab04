#pragma once
// The accelerometer chart's declared settings, and their application to a
// bare chart showing a session.

#include <QString>

#include <cstdint>

class TChart;
class TFastLineSeries;
class TSession;

struct TSeriesSettings {
    const char* Title;      // UTF-8
    uint32_t ColourWord;    // 0x00BBGGRR
};

struct TAccelerometerChartSettings {
    const char* Title;      // UTF-8
    double TopAxisMinimum;
    double TopAxisMaximum;
    int ColorPaletteIndex;  // kept as declared; the lines carry their own colours
    bool MarksVisible;
    TSeriesSettings Series[3];  // axes X, Y, Z
};

extern const TAccelerometerChartSettings AccelerometerChartSettings;

struct TAccelerometerSeries {
    TFastLineSeries* Series1;
    TFastLineSeries* Series2;
    TFastLineSeries* Series3;
};

// Applies the settings to a chart without series, with one series per axis
// of session, and has the chart redraw as the session grows. The session
// must outlive the chart, or the chart must stop watching it first.
TAccelerometerSeries ApplyAccelerometerChart(TChart& chart, TSession& session);
