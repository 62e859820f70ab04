#pragma once
// The sample sink of the live chart: each decoded value becomes the next
// point of its axis' series.

#include "frame_decoder.h"

class TFastLineSeries;

class TSeriesSink : public ISampleSink {
public:
    // series1, series2 and series3 receive axes X, Y and Z.
    TSeriesSink(TFastLineSeries& series1, TFastLineSeries& series2, TFastLineSeries& series3);
    void Append(TAxis axis, double value) override;

private:
    TFastLineSeries* m_series[AxisCount];
};
