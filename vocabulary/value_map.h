#pragma once
// What a stored reading stands for: the store keeps counts as the device
// sent them, and whoever shows them may show them in another unit through
// an affine map, (counts - Zero) / PerUnit (a calibration: the reading at
// 0 g and the counts per g). The identity map gives back every count
// exactly, so showing counts costs nothing in accuracy. A negative PerUnit
// (a device mounted upside down) is a valid map; 0 is not.
// Headers only, no Qt.

struct TValueMap {
    double Zero = 0;
    double PerUnit = 1;

    double operator()(double counts) const { return (counts - Zero) / PerUnit; }
    bool Identity() const { return Zero == 0 && PerUnit == 1; }
    bool operator==(const TValueMap& other) const { return Zero == other.Zero && PerUnit == other.PerUnit; }
    bool operator!=(const TValueMap& other) const { return !(*this == other); }
};
