#include "accelerometer_chart.h"

#include "session.h"
#include "tchart.h"

const TAccelerometerChartSettings AccelerometerChartSettings = {
    "Acelerômetro",
    2000,
    3000,
    13,
    false,
    {
        {"Eixo X", 0x00A36644},
        {"Eixo Y", 0x00359CF3},
        {"Eixo Z", 0x00144CF1},
    },
};

TAccelerometerSeries ApplyAccelerometerChart(TChart& chart, TSession& session)
{
    const TAccelerometerChartSettings& s = AccelerometerChartSettings;
    chart.SetTitle(QString::fromUtf8(s.Title));
    chart.SetTopAxis(s.TopAxisMinimum, s.TopAxisMaximum);
    TFastLineSeries* series[AxisCount];
    for (int i = 0; i < AxisCount; ++i)
        series[i] = chart.AddSeries(QString::fromUtf8(s.Series[i].Title), s.Series[i].ColourWord,
                                    session.Values(TAxis(i)));
    chart.Watch(&session);
    return {series[0], series[1], series[2]};
}
