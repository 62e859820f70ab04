#pragma once
// The calibration as a small text file, written only where the user asks:
//
//   # Acelerômetro calibração
//   eixo zero_contagens contagens_por_g
//   x 2048 409.6
//   y 2050.5 -410.2
//   z 2047 408.9
//
// UTF-8, one line per axis after a header line, fields apart by spaces or
// tabs, numbers with a point as decimal separator (an exponent allowed).
// Lines that are empty or begin with '#' are comments. Each axis (x, y, z,
// in any order, either case) once; none missing, no other line.
// No Qt.

#include "calibration.h"

#include <string>
#include <string_view>

// The header line.
extern const char* const CalibrationHeader;
// Files larger than this are not calibrations.
constexpr std::size_t MaxCalibrationFileBytes = 64 * 1024;

// The calibration in text. Throws Exception with a Portuguese message
// giving the line and what is wrong, when the text is not a calibration or
// one of its axes is not usable (CheckCalibration).
TCalibration ParseCalibration(std::string_view text);
// The file's text for calibration; parsing it gives back the same numbers.
std::string FormatCalibration(const TCalibration& calibration);
