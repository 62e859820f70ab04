#pragma once
// A calibration file read from disk (calibration_file.h), for "Abrir
// calibração…" and --calibration alike.

#include "calibration.h"

#include <QString>

// The calibration in the file named path (its bytes as file_names.h keeps
// them). Throws Exception naming the file and, in Portuguese, what is
// wrong: it cannot be read, it is not a regular file, it is too large, or
// its text is not a calibration (with the line).
TCalibration ReadCalibrationFile(const QString& path);
