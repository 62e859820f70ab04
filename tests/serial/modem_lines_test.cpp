// Setting DTR and RTS on a file descriptor, on what a test can open: a
// pseudo-terminal has no modem-control lines, which is no failure; a
// descriptor that is not open is one.
#include "modem_lines.h"
#include "pty_pair.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

TEST(ModemLines, ALineWithoutThemIsToldApartFromAFailure)
{
    TPtyPair pty;
    struct Case {
        const char* name;
        int fd;
        bool noModemLines;
    };
    const Case cases[] = {
        {"pseudo-terminal", pty.Slave(), true},
        {"descriptor not open", -1, false},
    };
    const TModemLines wishes[] = {
        {false, false, true},
        {true, false, true},
        {true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const TModemLines& lines : wishes) {
            const int error = SetModemLines(c.fd, lines);
            EXPECT_NE(error, 0);
            EXPECT_EQ(HasNoModemLines(error), c.noModemLines) << error;
        }
    }
    EXPECT_FALSE(HasNoModemLines(EIO)); // an adapter that went away
}

} // namespace
