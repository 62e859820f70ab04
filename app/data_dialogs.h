#pragma once
// What the data actions ask the user: the file to write and the size of a
// picture. Replaceable, so that tests drive the real actions without a
// modal dialog; by default a file dialog and a small size dialog.

#include <QSize>
#include <QString>

#include <functional>

class QWidget;

enum class TFileKind { Recording, Export, Image };

struct TDataDialogs {
    // The file to write, or an empty name when the user gave up.
    std::function<QString(QWidget* parent, TFileKind kind)> FileName;
    // The picture's size, or an invalid size when the user gave up; shown
    // is the chart's size on the screen. Throws Exception for a size that
    // cannot be read.
    std::function<QSize(QWidget* parent, QSize shown)> ImageSize;
};

TDataDialogs DefaultDataDialogs();

// Reads "1920x1080" (also with X, × or spaces); an invalid size when the
// text is not a size.
QSize ParseImageSize(const QString& text);
