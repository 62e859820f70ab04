#include "series_sink.h"

#include "tchart.h"

TSeriesSink::TSeriesSink(TFastLineSeries& series1, TFastLineSeries& series2, TFastLineSeries& series3)
    : m_series{&series1, &series2, &series3}
{
}

void TSeriesSink::Append(TAxis axis, double value)
{
    m_series[axis]->AddY(value, "", clTeeColor);
}
