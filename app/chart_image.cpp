#include "chart_image.h"

#include "accelerometer_chart.h"
#include "exception.h"
#include "tchart.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

namespace {

// Sizes a picture may have, per side.
constexpr int MinImageSide = 16;
constexpr int MaxImageSide = 8192;

bool IsSvgPath(const QString& path)
{
    return path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive);
}

}  // namespace

QByteArray DrawChartImage(const TChart& shown, TSession& session, const QString& path, QSize size)
{
    if (!size.isValid())
        size = shown.size();
    if (size.width() < MinImageSide || size.height() < MinImageSide || size.width() > MaxImageSide
        || size.height() > MaxImageSide)
        throw Exception(QStringLiteral("Não foi possível salvar a imagem \"%1\": o tamanho %2x%3 não é aceito "
                                       "(cada lado de %4 a %5 pixels).")
                            .arg(path)
                            .arg(size.width())
                            .arg(size.height())
                            .arg(MinImageSide)
                            .arg(MaxImageSide)
                            .toStdString());

    TChart picture;
    picture.resize(size);
    picture.SetOnScreenSize(shown.size());
    ApplyAccelerometerChart(picture, session);
    picture.SetValueScale(shown.ValueScale());
    // What is shown: the same stretch of history, zoom and hidden lines.
    picture.SetView(shown.View());

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    bool drawn;
    if (IsSvgPath(path)) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        // Text as large as on the screen the layout was made for.
        svg.setResolution(picture.logicalDpiX());
        svg.setTitle(picture.Title());
        QPainter painter(&svg);
        painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
        picture.QWidget::render(&painter);
        drawn = painter.end();
        // The generator gives the size in millimetres, which readers turn
        // into pixels at different resolutions; in pixels it is the size
        // asked for in every one of them.
        const QByteArray from = "<svg width=\"";
        const qsizetype begin = bytes.indexOf(from);
        const qsizetype height = begin < 0 ? -1 : bytes.indexOf("\" height=\"", begin);
        const qsizetype end = height < 0 ? -1 : bytes.indexOf('"', height + 10);
        if (end > 0)
            bytes.replace(begin, end + 1 - begin,
                          QStringLiteral("<svg width=\"%1\" height=\"%2\"").arg(size.width()).arg(size.height()).toUtf8());
    } else {
        drawn = picture.Picture().save(&buffer, "PNG");
    }
    if (!drawn || bytes.isEmpty())
        throw Exception(QStringLiteral("Não foi possível desenhar a imagem \"%1\".").arg(path).toStdString());
    return bytes;
}
