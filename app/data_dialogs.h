#pragma once
// What the data actions ask the user: the file to write (for an export,
// with its format), the size of a picture and the recordings to open.
// Replaceable, so that tests drive the real actions without a modal
// dialog; by default file dialogs and a small size dialog.

#include "export_rows.h"

#include <QFileDialog>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

enum class TFileKind { Recording, Export, Image, Calibration };

// The file an export writes and the format of its rows.
struct TExportChoice {
    QString Path;  // empty: the user gave up
    TExportFormat Format = TExportFormat::Recording;
};

struct TDataDialogs {
    // The file to write, or an empty name when the user gave up.
    std::function<QString(QWidget* parent, TFileKind kind)> FileName;
    // The picture's size, or an invalid size when the user gave up; shown
    // is the chart's size on the screen. Throws Exception for a size that
    // cannot be read.
    std::function<QSize(QWidget* parent, QSize shown)> ImageSize;
    // The file and format of an export. When not set, FileName is asked
    // for a TFileKind::Export and the program's own format is written.
    std::function<TExportChoice(QWidget* parent)> ExportFile;
    // The recordings to open; none when the user gave up.
    std::function<QStringList(QWidget* parent)> RecordingsToOpen;
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
    // An export's format, from the type chosen.
    TExportFormat ChosenFormat() const { return m_format; }

protected:
    void accept() override;

private:
    TFileKind m_kind;
    QString m_extension;  // of the type chosen
    QString m_chosen;
    TExportFormat m_format = TExportFormat::Recording;
};

// The file type an export's dialog offers for format, as its name filter.
QString ExportNameFilter(TExportFormat format);

// The file a name typed in the dialog stands for: the proposed extension
// is added to the name of a new file that has none, never to an existing
// file, a device, a link (even one that leads nowhere) or a folder. A name
// with a dot in its last part has its extension, or none on purpose.
QString NameToWrite(const QString& typed, const QString& extension, bool exists);

// Reads "1920x1080" (also with X, × or spaces); an invalid size when the
// text is not a size.
QSize ParseImageSize(const QString& text);
