#pragma once
// What the data actions ask the user: the file to write and the size of a
// picture. Replaceable, so that tests drive the real actions without a
// modal dialog; by default a file dialog and a small size dialog.

#include <QFileDialog>
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

// The dialog that asks for the file to write. Qt's own default suffix is
// not used: it is added to any name without a dot, so that typing
// /dev/full would write a new file /dev/full.csv.
class TFileNameDialog : public QFileDialog {
public:
    TFileNameDialog(QWidget* parent, TFileKind kind);
    // The file chosen, once accepted.
    QString Chosen() const { return m_chosen; }

protected:
    void accept() override;

private:
    TFileKind m_kind;
    QString m_extension;  // of the type chosen
    QString m_chosen;
};

// The file a name typed in the dialog stands for: the proposed extension
// is added to the name of a new file that has none, never to an existing
// file, a device, a link (even one that leads nowhere) or a folder. A name
// with a dot in its last part has its extension, or none on purpose.
QString NameToWrite(const QString& typed, const QString& extension, bool exists);

// Reads "1920x1080" (also with X, × or spaces); an invalid size when the
// text is not a size.
QSize ParseImageSize(const QString& text);
