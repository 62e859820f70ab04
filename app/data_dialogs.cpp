#include "data_dialogs.h"

#include "exception.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QRegularExpression>
#include <QStringList>

namespace {

// Where the last file was chosen: the next dialog opens there.
QString g_lastDirectory;

const TExportFormat ExportFormats[] = {TExportFormat::Recording, TExportFormat::SheetComma,
                                       TExportFormat::SheetBrazilian};

QString AskFileName(QWidget* parent, TFileKind kind)
{
    TFileNameDialog dialog(parent, kind);
    if (dialog.exec() != QDialog::Accepted || dialog.Chosen().isEmpty())
        return QString();
    g_lastDirectory = QFileInfo(dialog.Chosen()).absolutePath();
    return dialog.Chosen();
}

TExportChoice AskExportFile(QWidget* parent)
{
    TFileNameDialog dialog(parent, TFileKind::Export);
    if (dialog.exec() != QDialog::Accepted || dialog.Chosen().isEmpty())
        return {};
    g_lastDirectory = QFileInfo(dialog.Chosen()).absolutePath();
    return {dialog.Chosen(), dialog.ChosenFormat()};
}

QStringList AskRecordingsToOpen(QWidget* parent)
{
    QFileDialog dialog(parent, QStringLiteral("Abrir gravação"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setDirectory(g_lastDirectory.isEmpty() ? QDir::homePath() : g_lastDirectory);
    dialog.setNameFilters({QStringLiteral("Gravações do Acelerômetro (*.csv)"), QStringLiteral("Todos os arquivos (*)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    g_lastDirectory = QFileInfo(dialog.selectedFiles().constFirst()).absolutePath();
    return dialog.selectedFiles();
}

QSize AskImageSize(QWidget* parent, QSize shown)
{
    const QString screen = QStringLiteral("%1x%2 (tamanho na tela)").arg(shown.width()).arg(shown.height());
    const QStringList sizes = {screen, QStringLiteral("1280x720"), QStringLiteral("1920x1080"),
                               QStringLiteral("2560x1440"), QStringLiteral("3840x2160")};
    bool ok = false;
    const QString text = QInputDialog::getItem(parent, QStringLiteral("Salvar imagem"),
                                               QStringLiteral("Tamanho da imagem (largura x altura, em pixels):"),
                                               sizes, 0, true, &ok);
    if (!ok)
        return QSize();
    const QSize size = ParseImageSize(text);
    if (!size.isValid())
        throw Exception(QStringLiteral("\"%1\" não é um tamanho de imagem. Escreva a largura e a altura em pixels, "
                                       "por exemplo 1920x1080.")
                            .arg(text)
                            .toStdString());
    return size;
}

}  // namespace

TFileNameDialog::TFileNameDialog(QWidget* parent, TFileKind kind) : QFileDialog(parent), m_kind(kind)
{
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setDirectory(g_lastDirectory.isEmpty() ? QDir::homePath() : g_lastDirectory);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    switch (kind) {
    case TFileKind::Recording:
        setWindowTitle(QStringLiteral("Gravar"));
        setNameFilters({QStringLiteral("Dados CSV (*.csv)"), QStringLiteral("Todos os arquivos (*)")});
        m_extension = QStringLiteral("csv");
        break;
    case TFileKind::Export: {
        // The program's own format first: the one it opens back.
        setWindowTitle(QStringLiteral("Exportar dados"));
        QStringList filters;
        for (TExportFormat format : ExportFormats)
            filters << ExportNameFilter(format);
        setNameFilters(filters << QStringLiteral("Todos os arquivos (*)"));
        m_extension = QStringLiteral("csv");
        break;
    }
    case TFileKind::Image:
        setWindowTitle(QStringLiteral("Salvar imagem"));
        setNameFilters({QStringLiteral("Imagem PNG (*.png)"), QStringLiteral("Imagem SVG (*.svg)")});
        m_extension = QStringLiteral("png");
        break;
    case TFileKind::Calibration:
        setWindowTitle(QStringLiteral("Salvar calibração"));
        setNameFilters({QStringLiteral("Calibração do Acelerômetro (*.txt)"), QStringLiteral("Todos os arquivos (*)")});
        m_extension = QStringLiteral("txt");
        break;
    }
    const QString base = kind == TFileKind::Calibration ? QStringLiteral("calibracao") : QStringLiteral("acelerometro");
    selectFile(QStringLiteral("%1-%2.%3").arg(base, stamp, m_extension));
}

void TFileNameDialog::accept()
{
    // The names as typed, then Qt adds the extension only where the rule
    // says so, and asks before replacing the file that name is.
    setDefaultSuffix(QString());
    // A picture's name without an extension takes the one of the type chosen.
    if (m_kind == TFileKind::Image)
        m_extension = selectedNameFilter().contains(QStringLiteral("svg")) ? QStringLiteral("svg") : QStringLiteral("png");
    m_format = TExportFormat::Recording;
    for (TExportFormat format : ExportFormats)
        if (m_kind == TFileKind::Export && selectedNameFilter() == ExportNameFilter(format))
            m_format = format;
    const QStringList typed = selectedFiles();
    if (typed.isEmpty())
        return;
    const QFileInfo info(typed.constFirst());
    const bool exists = info.exists() || info.isSymLink();
    if (NameToWrite(typed.constFirst(), m_extension, exists) != typed.constFirst())
        setDefaultSuffix(m_extension);
    QFileDialog::accept();
    if (result() == QDialog::Accepted && !selectedFiles().isEmpty())
        m_chosen = selectedFiles().constFirst();
}

QString NameToWrite(const QString& typed, const QString& extension, bool exists)
{
    if (exists || extension.isEmpty() || typed.isEmpty() || typed.endsWith(QLatin1Char('/')))
        return typed;
    const QString name = typed.mid(typed.lastIndexOf(QLatin1Char('/')) + 1);
    if (name.contains(QLatin1Char('.')))
        return typed;
    return typed + QLatin1Char('.') + extension;
}

QSize ParseImageSize(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*(\\d{1,6})\\s*[xX×]\\s*(\\d{1,6})(\\s.*)?$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return QSize();
    return QSize(match.captured(1).toInt(), match.captured(2).toInt());
}

QString ExportNameFilter(TExportFormat format)
{
    switch (format) {
    case TExportFormat::Recording:
        break;
    case TExportFormat::SheetComma:
        return QStringLiteral("Planilha: uma linha por X, Y, Z, com vírgula e ponto decimal (*.csv)");
    case TExportFormat::SheetBrazilian:
        return QStringLiteral("Planilha em português: uma linha por X, Y, Z, com ponto e vírgula e vírgula decimal (*.csv)");
    }
    return QStringLiteral("Gravação do Acelerômetro, que o programa abre de volta (*.csv)");
}

TDataDialogs DefaultDataDialogs()
{
    return {AskFileName, AskImageSize, AskExportFile, AskRecordingsToOpen};
}
