#include "calibration.h"

#include "exception.h"

#include <cmath>
#include <cstdio>

const char* AxisName(TAxis axis)
{
    static const char* const names[AxisCount] = {"X", "Y", "Z"};
    return names[axis];
}

std::string DecimalText(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.6g", value);
    std::string out = text;
    for (char& c : out) {
        if (c == '.')
            c = ',';
    }
    return out;
}

namespace {

std::string Axis(TAxis axis)
{
    return std::string("eixo ") + AxisName(axis);
}

}  // namespace

TAxisCalibration SixPosition(TAxis axis, double meanUp, double meanDown)
{
    if (!std::isfinite(meanUp) || !std::isfinite(meanDown))
        throw Exception("Não foi possível calibrar o " + Axis(axis)
                        + ": falta a média de +1 g ou de −1 g (uma vista sem pontos desse eixo?).");
    const TAxisCalibration result{(meanUp + meanDown) / 2, (meanUp - meanDown) / 2};
    if (result.CountsPerG == 0)
        throw Exception("Não foi possível calibrar o " + Axis(axis) + ": as médias de +1 g e de −1 g são iguais ("
                        + DecimalText(meanUp)
                        + " contagens), o que daria 0 contagens por g. Meça de novo com o eixo apontando para "
                          "cima e depois para baixo.");
    CheckCalibration(axis, result);
    return result;
}

void CheckCalibration(TAxis axis, const TAxisCalibration& calibration)
{
    if (!std::isfinite(calibration.Zero))
        throw Exception("O zero do " + Axis(axis) + " não é um número.");
    if (!std::isfinite(calibration.CountsPerG))
        throw Exception("As contagens por g do " + Axis(axis) + " não são um número.");
    if (calibration.CountsPerG == 0)
        throw Exception("As contagens por g do " + Axis(axis)
                        + " são 0: nenhuma leitura se converteria em g. Use um valor diferente de 0 (negativo "
                          "para um eixo montado invertido).");
}

void CheckCalibration(const TCalibration& calibration)
{
    for (int axis = 0; axis < AxisCount; ++axis)
        CheckCalibration(TAxis(axis), calibration[std::size_t(axis)]);
}
