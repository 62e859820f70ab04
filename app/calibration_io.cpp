#include "calibration_io.h"

#include "calibration_file.h"
#include "exception.h"
#include "file_names.h"
#include "file_writer.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

TCalibration ReadCalibrationFile(const QString& path)
{
    const std::string name = path.toStdString();
    auto fail = [&name](const std::string& why) {
        return Exception("Não foi possível abrir a calibração \"" + name + "\": " + why + ".");
    };
    const int fd = ::open(EncodeFileName(path.toStdU16String()).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw fail(ErrnoReason(errno));
    std::string text;
    try {
        struct stat st {};
        if (::fstat(fd, &st) != 0)
            throw fail(ErrnoReason(errno));
        if (!S_ISREG(st.st_mode))
            throw fail(S_ISDIR(st.st_mode) ? "é uma pasta, não um arquivo" : "não é um arquivo comum");
        if (std::uint64_t(st.st_size) > MaxCalibrationFileBytes)
            throw fail("o arquivo é grande demais para uma calibração");
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                throw fail(ErrnoReason(errno));
            if (n == 0)
                break;
            text.append(buffer, std::size_t(n));
            if (text.size() > MaxCalibrationFileBytes)
                throw fail("o arquivo é grande demais para uma calibração");
        }
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
    try {
        return ParseCalibration(text);
    } catch (const Exception& e) {
        std::string why = e.Message();
        if (!why.empty() && why.back() == '.')
            why.pop_back();
        throw Exception("O arquivo \"" + name + "\" não é uma calibração válida: " + why + ".");
    }
}
