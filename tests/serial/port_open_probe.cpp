// Opens the port given on the command line as the program would and
// prints the outcome: "aberta", or the message the user would read. The
// tests run it as another user, for what root alone cannot show.
#include "exception.h"
#include "tcomport.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc != 2) {
        std::fputs("usage: port_open_probe PATH\n", stderr);
        return 2;
    }
    TComPort port;
    TSerialSettings settings;
    settings.Port = QString::fromLocal8Bit(argv[1]);
    port.SetSettings(settings);
    try {
        port.SetConnected(true);
        std::puts("aberta");
    } catch (const std::exception& e) {
        std::puts(e.what());
    }
    return 0;
}
