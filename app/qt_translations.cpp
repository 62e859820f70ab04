#include "qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QtGlobal>

QTranslator* InstallQtTranslations(QCoreApplication& app)
{
    // "qt" is Qt's catalogue of catalogues: it brings qtbase's texts and
    // those of the other modules that have them.
    auto* translator = new QTranslator(&app);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QLocale(QLocale::Portuguese, QLocale::Brazil), QStringLiteral("qt"), QStringLiteral("_"),
                          folder)
        || !QCoreApplication::installTranslator(translator)) {
        qWarning("Acelerômetro: as traduções do Qt para o português (qt_pt_BR.qm) não estão em %s; os botões e "
                 "diálogos do Qt ficam em inglês (instale o pacote qt6-translations-l10n).",
                 qUtf8Printable(folder));
        delete translator;
        return nullptr;
    }
    return translator;
}
