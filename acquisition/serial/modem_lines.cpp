#include "modem_lines.h"

#include <cerrno>
#include <sys/ioctl.h>

namespace {

int Request(int fd, unsigned long request, int bits)
{
    if (bits == 0)
        return 0;
    return ::ioctl(fd, request, &bits) == 0 ? 0 : errno;
}

} // namespace

int SetModemLines(int fd, const TModemLines& lines)
{
    int down = 0;
    int up = 0;
    (lines.Dtr ? up : down) |= TIOCM_DTR;
    if (lines.DriveRts)
        (lines.Rts ? up : down) |= TIOCM_RTS;
    // Down first: after an open both lines are up, so this alone reaches
    // the wanted state in one step; the raise then changes nothing.
    if (const int error = Request(fd, TIOCMBIC, down))
        return error;
    return Request(fd, TIOCMBIS, up);
}

bool HasNoModemLines(int error)
{
    // ENOTTY: the tty layer found no modem-control operation in the driver;
    // EINVAL: the driver has one but refuses these lines.
    return error == ENOTTY || error == EINVAL;
}
