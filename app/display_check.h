#pragma once
// Starting without a display.
//
// When Qt's platform plugin cannot start (no DISPLAY or WAYLAND_DISPLAY, or
// a display server that is not there), Qt ends the process from inside the
// QApplication constructor with a fatal message and abort(): status 134 and
// a text in English about reinstalling. While a TDisplayCheck lives (around
// the construction of the application object, and no longer), such a
// failure instead prints on standard error, in Portuguese, that no display
// was found and how to run the program, followed by Qt's own lines as
// details, and the process ends with status 0.
//
// Qt's other messages of that moment are held back and handed on to the
// previous message handler, unchanged and in order, when the check ends.

class TDisplayCheck {
public:
    // `program` is how the user started the program (argv[0]); the message
    // shows it in the command to run it on a virtual display.
    explicit TDisplayCheck(const char* program);
    ~TDisplayCheck();
    TDisplayCheck(const TDisplayCheck&) = delete;
    TDisplayCheck& operator=(const TDisplayCheck&) = delete;
};
