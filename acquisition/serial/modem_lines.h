#pragma once
// DTR and RTS of an open serial line, set through its file descriptor
// (POSIX ioctl; no Qt).
//
// Linux raises both lines whenever it opens a line whose speed is not 0
// (tty_port_block_til_ready; serial_core's uart_port_startup), and whenever a
// speed replaces speed 0 (uart_set_termios, ftdi_sio, ch341, pl2303; cdc_acm
// raises DTR). No open flag or termios setting avoids both, so a program
// that wants the lines off can only lower them right after the open, which
// is what this is for.
//
// The lines change together: one request lowers every line that has to go
// down, then one request raises every line that has to go up, and each is a
// single register write or USB request in the drivers. Boards with the
// usual two-transistor auto-reset (ESP32 and ESP8266 boards) hold the chip
// in reset while RTS is on and DTR is off; lowering the lines one after the
// other, DTR first, passes through that state for the length of a USB
// request, while lowering them together goes straight from both on (no
// effect) to both off (no effect).

struct TModemLines {
    bool Dtr = false;
    bool Rts = false;
    // False leaves RTS to the kernel, which drives it under RTS/CTS flow
    // control.
    bool DriveRts = true;
};

// Puts DTR and RTS as `lines` asks. Returns 0, or the errno of the request
// that failed.
int SetModemLines(int fd, const TModemLines& lines);

// True for what SetModemLines returns on a line that has no modem-control
// lines at all (a pseudo-terminal, some USB devices): there is nothing to
// hold off there, so it is no failure.
bool HasNoModemLines(int error);
