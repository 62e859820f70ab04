#pragma once
// The accelerometer's three axes, as every layer names them: the decoder
// tags frames with them, the session keeps a series per axis, the chart
// draws a line per axis.

enum TAxis { axX, axY, axZ };

constexpr int AxisCount = 3;
