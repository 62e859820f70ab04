#pragma once
// Why a serial device cannot be opened, in words that say what to do.
//
// QSerialPort folds very different causes into a handful of error codes:
// no permission and a port held by another program are both
// PermissionError; a regular file, a directory, a FIFO or /dev/null get
// as far as the first termios call and end as UnsupportedOperationError;
// and a path whose lock-file name ("LCK.." and the path with '/' turned into
// '_') passes 255 bytes fails to lock, which is PermissionError again. So
// the port asks the file system first, without opening the device (every
// open of a tty raises DTR and RTS), and explains what Qt reports after.
//
// Qt Core and POSIX only.

#include <QSerialPort>
#include <QString>
#include <QStringList>

// A reason ("sem permissão para ler o dispositivo") and, where there is
// one, what the user can do about it, as a sentence of its own.
struct TOpenProblem {
    QString Reason;
    QString Advice;

    bool IsEmpty() const { return Reason.isEmpty(); }
};

// What stands in the way of opening `path`, found from the file system
// alone: an empty name, a path the system cannot take, nothing there, no
// way through a folder, something other than a character device, no read
// permission, a lock-file name Qt could not create. Empty when nothing does
// (opening may still fail).
TOpenProblem DeviceProblem(const QString& path);

// The path to hand to QSerialPort for `path`: the device itself, with every
// symbolic link and relative part resolved. Qt names its lock file after
// this path, so the lock is the device's own whatever link the user chose
// (another program opening /dev/ttyUSB0 sees it) and its name stays short;
// and Qt takes a relative path without "./" as a name under /dev.
QString DevicePathToOpen(const QString& path);

// The reason QSerialPort gives with `error`, in the words the user reads,
// with the system's own text after it.
QString PortErrorReason(QSerialPort::SerialPortError error, const QString& systemText);

// The reason after QSerialPort failed to open `device` (as returned by
// DevicePathToOpen) with `error` and its text.
TOpenProblem OpenFailure(const QString& device, QSerialPort::SerialPortError error, const QString& errorText);

// Takes an exclusive flock on the open device, as picocom and other tools
// do, so that each of them sees the other's hold. False when another
// program holds it.
bool LockOpenDevice(int fd);
TOpenProblem HeldByFlock();

// The advice for a port whose device is not there: where to choose
// another (Config. Serial) and the serial ports the machine has, by path.
QString MissingDeviceAdvice(const QStringList& presentPorts);
// The serial ports the machine has now, by path, sorted.
QStringList PresentSerialPorts();

// The message for a device that went away while its port was open:
// `where` names it (the port as chosen, with the device it led to).
QString DeviceLostMessage(const QString& where);

// The advice for a device the user may not read, from its group and
// whether the group may read it; `inGroupSinceLogin` tells that the user
// is a member of the group but this session started before that.
QString PermissionAdvice(const QString& group, bool groupMayRead, bool inGroupSinceLogin);
