#include "calibration_file.h"

#include "exception.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <optional>
#include <vector>

const char* const CalibrationHeader = "eixo zero_contagens contagens_por_g";

namespace {

std::vector<std::string_view> Fields(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i > start)
            fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

[[noreturn]] void Fail(int line, const std::string& what)
{
    throw Exception("linha " + std::to_string(line) + ": " + what);
}

// A decimal number as written in the file: an optional sign, digits with
// an optional point, an optional exponent; nothing else.
double Number(int line, std::string_view text, const char* notANumber)
{
    std::string_view digits = text;
    const bool plus = !digits.empty() && digits.front() == '+';
    if (plus)
        digits.remove_prefix(1);
    double value = 0;
    // from_chars alone would take "inf", "nan" and a sign after the '+'.
    const bool plain = !digits.empty()
        && (std::isdigit((unsigned char)digits.front()) || digits.front() == '.' || (digits.front() == '-' && !plus));
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value,
                                              std::chars_format::general);
    if (!plain || error != std::errc() || end != digits.data() + digits.size() || !std::isfinite(value)) {
        std::string why = std::string(notANumber) + ": \"" + std::string(text) + "\"";
        if (text.find(',') != std::string_view::npos)
            why += " (use ponto como separador decimal, por exemplo 2048.5)";
        Fail(line, why);
    }
    return value;
}

std::optional<TAxis> AxisOf(std::string_view field)
{
    if (field.size() != 1)
        return std::nullopt;
    switch (std::tolower((unsigned char)field.front())) {
    case 'x': return axX;
    case 'y': return axY;
    case 'z': return axZ;
    default: return std::nullopt;
    }
}

}  // namespace

TCalibration ParseCalibration(std::string_view text)
{
    if (text.size() > MaxCalibrationFileBytes)
        throw Exception("o arquivo é grande demais para uma calibração");
    TCalibration calibration;
    bool seen[AxisCount] = {};
    bool header = false;
    int number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const std::vector<std::string_view> fields = Fields(line);
        if (fields.empty() || fields.front().front() == '#')
            continue;
        if (!header) {
            if (fields != Fields(CalibrationHeader))
                Fail(number, std::string("esperado o cabeçalho \"") + CalibrationHeader + "\"");
            header = true;
            continue;
        }
        const std::optional<TAxis> axis = AxisOf(fields.front());
        if (!axis)
            Fail(number, "eixo desconhecido \"" + std::string(fields.front()) + "\" (são x, y e z)");
        if (fields.size() != 3)
            Fail(number, std::string("esperados 3 campos (eixo, zero em contagens, contagens por g), há ")
                             + std::to_string(fields.size()));
        if (seen[*axis])
            Fail(number, std::string("o eixo ") + AxisName(*axis) + " aparece mais de uma vez");
        seen[*axis] = true;
        TAxisCalibration& c = calibration[std::size_t(*axis)];
        c.Zero = Number(number, fields[1], "o zero não é um número");
        c.CountsPerG = Number(number, fields[2], "as contagens por g não são um número");
        try {
            CheckCalibration(*axis, c);
        } catch (const Exception& e) {
            std::string why = e.Message();
            why.front() = char(std::tolower((unsigned char)why.front()));
            Fail(number, why);
        }
    }
    if (!header)
        throw Exception(std::string("não é um arquivo de calibração (falta o cabeçalho \"") + CalibrationHeader
                        + "\")");
    for (int axis = 0; axis < AxisCount; ++axis) {
        if (!seen[axis])
            throw Exception(std::string("falta a linha do eixo ") + AxisName(TAxis(axis)));
    }
    return calibration;
}

std::string FormatCalibration(const TCalibration& calibration)
{
    // The shortest text that reads back as the same double, whatever the
    // locale of the program.
    auto number = [](double value) {
        char text[64];
        const auto result = std::to_chars(text, text + sizeof text, value);
        return std::string(text, result.ptr);
    };
    std::string out = "# Acelerômetro calibração\n";
    out += CalibrationHeader;
    out += '\n';
    static const char letters[AxisCount] = {'x', 'y', 'z'};
    for (int axis = 0; axis < AxisCount; ++axis) {
        const TAxisCalibration& c = calibration[std::size_t(axis)];
        out += letters[axis];
        out += ' ' + number(c.Zero) + ' ' + number(c.CountsPerG) + '\n';
    }
    return out;
}
