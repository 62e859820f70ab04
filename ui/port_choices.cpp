#include "port_choices.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

QString Details(const TPortFacts& port)
{
    QStringList details;
    if (!port.Description.isEmpty())
        details << port.Description;
    if (!port.Manufacturer.isEmpty() && port.Manufacturer != port.Description)
        details << port.Manufacturer;
    if (!port.SerialNumber.isEmpty())
        details << QStringLiteral("nº de série %1").arg(port.SerialNumber);
    return details.join(QStringLiteral(" · "));
}

}  // namespace

QList<TPortChoice> PortChoices(const QList<TPortFacts>& ports, const QMap<QString, QStringList>& stableNames)
{
    QList<TPortFacts> sorted = ports;
    std::sort(sorted.begin(), sorted.end(), [](const TPortFacts& a, const TPortFacts& b) { return a.Name < b.Name; });
    QList<TPortChoice> choices;
    for (const TPortFacts& port : sorted) {
        const QString details = Details(port);
        choices.append({port.Name, details.isEmpty() ? port.Location : details});
        QStringList links = stableNames.value(port.Location);
        links.sort();
        for (const QString& link : links) {
            const QString same = QStringLiteral("nome estável de %1").arg(port.Name);
            choices.append({link, details.isEmpty() ? same : same + QStringLiteral(" · ") + details});
        }
    }
    return choices;
}

QMap<QString, QStringList> LinksByDevice(const QString& folder)
{
    QMap<QString, QStringList> links;
    const QDir dir(folder);
    for (const QFileInfo& entry : dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        if (!entry.isSymLink())
            continue;
        const QString device = entry.canonicalFilePath();
        if (!device.isEmpty())
            links[device] << entry.absoluteFilePath();
    }
    return links;
}
