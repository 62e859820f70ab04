#include "data_dialogs.h"

#include "exception.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QRegularExpression>
#include <QStringList>

namespace {

// Where the last file was chosen: the next dialog opens there.
QString g_lastDirectory;

QString AskFileName(QWidget* parent, TFileKind kind)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDirectory(g_lastDirectory.isEmpty() ? QDir::homePath() : g_lastDirectory);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QStringList filters;
    switch (kind) {
    case TFileKind::Recording:
    case TFileKind::Export:
        dialog.setWindowTitle(kind == TFileKind::Recording ? QStringLiteral("Gravar") : QStringLiteral("Exportar dados"));
        filters << QStringLiteral("Dados CSV (*.csv)") << QStringLiteral("Todos os arquivos (*)");
        dialog.setNameFilters(filters);
        dialog.setDefaultSuffix(QStringLiteral("csv"));
        dialog.selectFile(QStringLiteral("acelerometro-%1.csv").arg(stamp));
        break;
    case TFileKind::Image:
        dialog.setWindowTitle(QStringLiteral("Salvar imagem"));
        filters << QStringLiteral("Imagem PNG (*.png)") << QStringLiteral("Imagem SVG (*.svg)");
        dialog.setNameFilters(filters);
        dialog.setDefaultSuffix(QStringLiteral("png"));
        dialog.selectFile(QStringLiteral("acelerometro-%1.png").arg(stamp));
        // The name without an extension takes the one of the chosen type.
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
            dialog.setDefaultSuffix(filter.contains(QStringLiteral("svg")) ? QStringLiteral("svg")
                                                                          : QStringLiteral("png"));
        });
        break;
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    const QString path = dialog.selectedFiles().constFirst();
    g_lastDirectory = QFileInfo(path).absolutePath();
    return path;
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

QSize ParseImageSize(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*(\\d{1,6})\\s*[xX×]\\s*(\\d{1,6})(\\s.*)?$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return QSize();
    return QSize(match.captured(1).toInt(), match.captured(2).toInt());
}

TDataDialogs DefaultDataDialogs()
{
    return {AskFileName, AskImageSize};
}
