// The calibration's rules: zero and counts per g from the means of an
// axis pointing up and down, what may be applied, and the text file.
#include "calibration.h"
#include "calibration_file.h"
#include "exception.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();
const double Inf = std::numeric_limits<double>::infinity();

// The message of what f throws; empty when it throws nothing.
template <class F>
std::string Thrown(F&& f)
{
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return std::string();
}

TEST(SixPosition, ZeroIsTheMiddleAndTheScaleHalfTheSpan)
{
    struct TCase {
        const char* Name;
        double Up;
        double Down;
        double Zero;
        double Scale;
    };
    const TCase cases[] = {
        {"ideal part", 2448, 1648, 2048, 400},
        {"offset and scale of its own", 2459.5, 1644.5, 2052, 407.5},
        {"mounted upside down", 1640, 2460, 2050, -410},
        {"fractional means", 2447.25, 1648.75, 2048, 399.25},
        {"a tiny scale", 2048.5, 2047.5, 2048, 0.5},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const TAxisCalibration found = SixPosition(axY, c.Up, c.Down);
        EXPECT_DOUBLE_EQ(found.Zero, c.Zero);
        EXPECT_DOUBLE_EQ(found.CountsPerG, c.Scale);
        // Up reads +1 g and down -1 g through the map it gives.
        EXPECT_DOUBLE_EQ(found.Map()(c.Up), 1);
        EXPECT_DOUBLE_EQ(found.Map()(c.Down), -1);
        EXPECT_DOUBLE_EQ(found.Map()(c.Zero), 0);
    }
}

TEST(SixPosition, RefusesMeansThatGiveNoScale)
{
    struct TCase {
        const char* Name;
        TAxis Axis;
        double Up;
        double Down;
        const char* Says;
    };
    const TCase cases[] = {
        {"equal means", axZ, 2048, 2048, "eixo Z: as médias de +1 g e de −1 g são iguais (2048 contagens)"},
        {"equal fractional means", axX, 2048.5, 2048.5, "iguais (2048,5 contagens)"},
        {"no mean up", axX, NaN, 1648, "falta a média"},
        {"no mean down", axY, 2448, NaN, "eixo Y: falta a média"},
        {"a span beyond doubles", axX, 1.7e308, -1.7e308, "não são um número"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string message = Thrown([&] { SixPosition(c.Axis, c.Up, c.Down); });
        EXPECT_NE(message.find(c.Says), std::string::npos) << message;
    }
}

TEST(CheckCalibration, RefusesAScaleOfZeroAndWhatIsNotANumber)
{
    struct TCase {
        TAxisCalibration Calibration;
        const char* Says;  // empty: accepted
    };
    const TCase cases[] = {
        {{2048, 400}, ""},
        {{2048, -400}, ""},
        {{0, 1e-9}, ""},
        {{2048, 0}, "As contagens por g do eixo Y são 0"},
        {{2048, -0.0}, "são 0"},
        {{NaN, 400}, "O zero do eixo Y não é um número"},
        {{Inf, 400}, "O zero do eixo Y não é um número"},
        {{2048, NaN}, "As contagens por g do eixo Y não são um número"},
        {{2048, -Inf}, "não são um número"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.Calibration.Zero) + " " + std::to_string(c.Calibration.CountsPerG));
        const std::string message = Thrown([&] { CheckCalibration(axY, c.Calibration); });
        if (*c.Says == '\0')
            EXPECT_EQ(message, "");
        else
            EXPECT_NE(message.find(c.Says), std::string::npos) << message;
    }
}

TEST(CalibrationFile, FormatReadsBackToTheSameNumbers)
{
    const TCalibration written = {{{2048.0, 409.6}, {2050.5, -410.2}, {2047.0, 408.9}}};
    const std::string text = FormatCalibration(written);
    EXPECT_EQ(text,
              "# Acelerômetro calibração\n"
              "eixo zero_contagens contagens_por_g\n"
              "x 2048 409.6\n"
              "y 2050.5 -410.2\n"
              "z 2047 408.9\n");
    EXPECT_EQ(ParseCalibration(text), written);

    // Any double: the six-position means are fractions with many digits.
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> zero(-5000, 5000);
    std::uniform_real_distribution<double> scale(1e-3, 5000);
    for (int round = 0; round < 200; ++round) {
        TCalibration c;
        for (TAxisCalibration& axis : c)
            axis = {zero(rng), (round % 2 ? -1 : 1) * scale(rng)};
        EXPECT_EQ(ParseCalibration(FormatCalibration(c)), c) << FormatCalibration(c);
    }
}

TEST(CalibrationFile, ReadsWhatAPersonMightWrite)
{
    const TCalibration expected = {{{2048, 400}, {2050.5, -410}, {1e3, 0.25}}};
    const char* const texts[] = {
        // Axes in any order and case, tabs, CRLF, comments and blank lines.
        "eixo zero_contagens contagens_por_g\nZ 1e3 .25\nx 2048 400\nY +2050.5 -410\n",
        "# feito à mão\r\n\r\neixo\tzero_contagens  contagens_por_g\r\n  x\t2048.000 400\r\n# y\r\ny 2050.5 -4.1e2\r\nz 1000 0.25",
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        TCalibration read;
        EXPECT_EQ(Thrown([&] { read = ParseCalibration(text); }), "");
        EXPECT_EQ(read, expected);
    }
}

TEST(CalibrationFile, RefusesWhatIsNotACalibration)
{
    const std::string header = "eixo zero_contagens contagens_por_g\n";
    struct TCase {
        const char* Name;
        std::string Text;
        const char* Says;
    };
    const TCase cases[] = {
        {"empty", "", "não é um arquivo de calibração"},
        {"comments only", "# nada\n\n", "não é um arquivo de calibração"},
        {"a recording", "tempo_s,eixo,indice,valor,valido\n0.0,X,0,2048,1\n", "linha 1: esperado o cabeçalho"},
        {"no header", "x 2048 400\ny 2048 400\nz 2048 400\n", "linha 1: esperado o cabeçalho"},
        {"missing axis", header + "x 2048 400\nz 2048 400\n", "falta a linha do eixo Y"},
        {"repeated axis", header + "x 2048 400\ny 2048 400\nx 2048 401\nz 2048 400\n",
         "linha 4: o eixo X aparece mais de uma vez"},
        {"unknown axis", header + "w 2048 400\n", "linha 2: eixo desconhecido \"w\""},
        {"missing field", header + "x 2048\n", "linha 2: esperados 3 campos"},
        {"extra field", header + "x 2048 400 1\n", "há 4"},
        {"not a number", header + "x 2048 quatrocentos\n", "linha 2: as contagens por g não são um número: \"quatrocentos\""},
        {"decimal comma", header + "x 2048,5 400\n", "use ponto como separador decimal"},
        {"nan", header + "x nan 400\n", "o zero não é um número: \"nan\""},
        {"infinity", header + "x 2048 -inf\n", "não são um número: \"-inf\""},
        {"out of range", header + "x 1e999 400\n", "o zero não é um número"},
        {"hexadecimal", header + "x 0x800 400\n", "o zero não é um número"},
        {"two signs", header + "x +-2048 400\n", "o zero não é um número"},
        {"scale zero", header + "x 2048 400\ny 2048 0\nz 2048 400\n", "linha 3: as contagens por g do eixo Y são 0"},
        {"scale minus zero", header + "x 2048 -0.0\n", "linha 2: as contagens por g do eixo X são 0"},
        {"too large", header + std::string(MaxCalibrationFileBytes, '#'), "grande demais"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string message = Thrown([&] { ParseCalibration(c.Text); });
        EXPECT_NE(message.find(c.Says), std::string::npos) << message;
    }
}

}  // namespace
