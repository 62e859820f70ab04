#pragma once
// The accelerometer's calibration: per axis, the reading at 0 g (counts)
// and the counts per g, so that a reading is (counts - zero) / countsPerG
// in g. A device mounted upside down has a negative scale, which is valid;
// a scale of 0 (or anything that is not a finite number) is not.
//
// The six-position method finds both for an axis from two readings at
// rest: the mean with the axis pointing up (+1 g) and with it pointing
// down (-1 g).
// No Qt.

#include "sensor_axes.h"
#include "value_map.h"

#include <array>
#include <string>

struct TAxisCalibration {
    double Zero = 0;        // counts at 0 g
    double CountsPerG = 1;  // counts per g

    TValueMap Map() const { return {Zero, CountsPerG}; }
    bool operator==(const TAxisCalibration& other) const
    {
        return Zero == other.Zero && CountsPerG == other.CountsPerG;
    }
};

using TCalibration = std::array<TAxisCalibration, AxisCount>;

// "X", "Y", "Z".
const char* AxisName(TAxis axis);

// The calibration of axis from the means of its readings pointing up and
// pointing down: zero = (up + down) / 2, countsPerG = (up - down) / 2.
// Throws Exception, in Portuguese and naming the axis, when either mean is
// not a number or they are equal (the scale would be 0).
TAxisCalibration SixPosition(TAxis axis, double meanUp, double meanDown);

// Throws Exception, in Portuguese and naming the axis, unless zero and
// scale are finite numbers and the scale is not 0.
void CheckCalibration(TAxis axis, const TAxisCalibration& calibration);
void CheckCalibration(const TCalibration& calibration);

// A number as the messages write it: "2048", "2048,5", "-410,25".
std::string DecimalText(double value);
