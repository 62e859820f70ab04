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
    QString text = QStringLiteral(
                       "Acelerômetro: nenhuma tela gráfica encontrada (%1).\n"
                       "O programa abre uma janela: execute-o numa sessão gráfica (na área de trabalho)\n"
                       "ou, numa máquina sem tela, sobre uma tela virtual:\n"
                       "    xvfb-run -a %2\n")
                       .arg(DisplaySettings(), g_program);
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
    std::fputs(NoDisplayMessage().toUtf8().constData(), stderr);
    std::fflush(stderr);
    std::_Exit(0);
}

} // namespace

TDisplayCheck::TDisplayCheck(const char* program)
{
    g_program = QString::fromLocal8Bit(program ? program : "acelerometro");
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
