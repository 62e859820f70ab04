#include "frame_encoder.h"

#include <algorithm>

TFrameBytes EncodeFrame(TAxis axis, int value, int check)
{
    const int v = std::clamp(value, 0, MaxReading);
    const int k = check & 0x0F;
    return {AxisTag(axis), uint8_t((k << 4) | (v >> 8)), uint8_t(v & 0xFF)};
}

TFrameBytes EncodeValidFrame(TAxis axis, int value)
{
    const int v = std::clamp(value, 0, MaxReading);
    return EncodeFrame(axis, v, ValidCheck(v));
}
