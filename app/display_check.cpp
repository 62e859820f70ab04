#include "display_check.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct THeldMessage {
    QtMsgType Type;
    std::string Category;
    QString Text;
};

QtMessageHandler g_previous = nullptr;
std::vector<THeldMessage> g_held;
QString g_program;
QStringList g_arguments;

// The display settings the platform plugin had to go on, as the user set them.
QString DisplaySettings()
{
    QStringList set;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const QByteArray value = qgetenv(name);
        if (!value.isEmpty())
            set << QStringLiteral("%1=%2").arg(QLatin1String(name), QString::fromLocal8Bit(value));
    }
    return set.isEmpty() ? QStringLiteral("DISPLAY e WAYLAND_DISPLAY não estão definidas") : set.join(QStringLiteral(", "));
}

QString NoDisplayMessage()
{
    return QStringLiteral("Acelerômetro: nenhuma tela gráfica encontrada (%1).\n"
                          "O programa abre uma janela: execute-o numa sessão gráfica (na área de trabalho)\n"
                          "ou, numa máquina sem tela, sobre uma tela virtual:\n"
                          "    xvfb-run -a %2\n")
        .arg(DisplaySettings(), g_program);
}

bool PlatformArgumentGiven()
{
    return g_arguments.contains(QStringLiteral("-platform")) || g_arguments.contains(QStringLiteral("--platform"));
}

QString UnknownPlatformMessage(const QStringList& unknown, const QStringList& available)
{
    QStringList quoted;
    for (const QString& name : unknown)
        quoted << QStringLiteral("\"%1\"").arg(name);
    const QString source = PlatformArgumentGiven()
        ? QStringLiteral("pedida com -platform")
        : QStringLiteral("QT_QPA_PLATFORM=%1").arg(qEnvironmentVariable("QT_QPA_PLATFORM"));
    return QStringLiteral("Acelerômetro: %1 %2 (%3).\n"
                          "Plataformas disponíveis: %4.\n"
                          "Sem -platform e sem QT_QPA_PLATFORM o programa usa a tela da sessão gráfica.\n")
        .arg(unknown.size() == 1 ? QStringLiteral("a plataforma gráfica") : QStringLiteral("as plataformas gráficas"),
             quoted.join(QStringLiteral(", "))
                 + (unknown.size() == 1 ? QStringLiteral(" não existe") : QStringLiteral(" não existem")),
             source, available.join(QStringLiteral(", ")));
}

QString Details()
{
    QString text;
    if (!g_held.empty()) {
        text += QStringLiteral("Detalhes (Qt):\n");
        for (const THeldMessage& m : g_held)
            text += QStringLiteral("    %1\n").arg(m.Text.trimmed().replace(QLatin1Char('\n'), QStringLiteral("\n    ")));
    }
    return text;
}

void OnMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type != QtFatalMsg) {
        g_held.push_back({type, context.category ? context.category : "", text});
        return;
    }
    // Qt aborts as soon as this returns, so the program ends here. Nothing
    // is half-built that needs tearing down: the application object is
    // still in its constructor.
    g_held.push_back({type, std::string(), text});
    QString all;
    for (const THeldMessage& m : g_held)
        all += m.Text + QLatin1Char('\n');
    const QStringList available = AvailablePlatforms(all);
    const QStringList unknown =
        UnknownPlatforms(RequestedPlatforms(g_arguments, qEnvironmentVariable("QT_QPA_PLATFORM")), available);
    const QString message = unknown.isEmpty() ? NoDisplayMessage() : UnknownPlatformMessage(unknown, available);
    std::fputs((message + Details()).toUtf8().constData(), stderr);
    std::fflush(stderr);
    std::_Exit(unknown.isEmpty() ? 0 : 2);
}

} // namespace

TDisplayCheck::TDisplayCheck(int argc, char** argv)
{
    g_program = QString::fromLocal8Bit(argc > 0 && argv[0] ? argv[0] : "acelerometro");
    g_arguments.clear();
    for (int i = 1; i < argc; ++i)
        g_arguments << QString::fromLocal8Bit(argv[i]);
    g_held.clear();
    g_previous = qInstallMessageHandler(OnMessage);
}

TDisplayCheck::~TDisplayCheck()
{
    qInstallMessageHandler(g_previous);
    for (const THeldMessage& m : g_held) {
        const QMessageLogContext context(nullptr, 0, nullptr, m.Category.empty() ? nullptr : m.Category.c_str());
        if (g_previous) // Qt hands back its default handler, never null
            g_previous(m.Type, context, m.Text);
    }
    g_held.clear();
}

QStringList RequestedPlatforms(const QStringList& arguments, const QString& environment)
{
    QString chosen = environment;
    for (int i = 0; i + 1 < arguments.size(); ++i)
        if (arguments[i] == QLatin1String("-platform") || arguments[i] == QLatin1String("--platform"))
            chosen = arguments[++i];
    QStringList names;
    for (const QString& entry : chosen.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString name = entry.section(QLatin1Char(':'), 0, 0).trimmed();
        if (!name.isEmpty())
            names << name;
    }
    return names;
}

QStringList AvailablePlatforms(const QString& qtMessages)
{
    static const QString lead = QStringLiteral("Available platform plugins are:");
    const int at = qtMessages.indexOf(lead);
    if (at < 0)
        return {};
    QString list = qtMessages.mid(at + lead.size());
    list = list.left(list.indexOf(QLatin1Char('\n')));
    list = list.trimmed();
    if (list.endsWith(QLatin1Char('.')))
        list.chop(1);
    QStringList names;
    for (const QString& name : list.split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (!name.trimmed().isEmpty())
            names << name.trimmed();
    return names;
}

QStringList UnknownPlatforms(const QStringList& requested, const QStringList& available)
{
    QStringList unknown;
    if (available.isEmpty())
        return unknown;
    for (const QString& name : requested)
        if (!available.contains(name))
            unknown << name;
    return unknown;
}
