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
// A platform asked for by name (-platform NAME, QT_QPA_PLATFORM) that Qt
// does not have is no missing display but a mistake: the message says that
// this platform does not exist and which ones do, and the status is 2, as
// for the program's other mistakes at start-up.
//
// Qt's other messages of that moment are held back and handed on to the
// previous message handler, unchanged and in order, when the check ends.

#include <QString>
#include <QStringList>

class TDisplayCheck {
public:
    // The program's arguments as given to main(): argv[0] is how the user
    // started the program, shown in the command to run it on a virtual
    // display; a -platform among them names the platform asked for.
    TDisplayCheck(int argc, char** argv);
    ~TDisplayCheck();
    TDisplayCheck(const TDisplayCheck&) = delete;
    TDisplayCheck& operator=(const TDisplayCheck&) = delete;
};

// The platform plugins asked for: the value of the last -platform (or
// --platform) argument, else of QT_QPA_PLATFORM; each without its options
// (after ':'), several separated by ';'. Empty: Qt's default.
QStringList RequestedPlatforms(const QStringList& arguments, const QString& environment);
// The plugins Qt lists in its failure ("Available platform plugins are:
// a, b, c."); empty when it lists none.
QStringList AvailablePlatforms(const QString& qtMessages);
// Of the platforms asked for, those Qt does not have; none when Qt listed
// no plugins (then nothing can be told apart).
QStringList UnknownPlatforms(const QStringList& requested, const QStringList& available);
