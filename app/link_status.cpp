#include "link_status.h"

#include "device_resolver.h"

#include <QFileInfo>
#include <QLabel>
#include <QStringList>
#include <QTimer>
#include <QWidget>

namespace {

QString StateText(const TLinkView& view)
{
    switch (view.State) {
    case TLinkState::Open:
        return QStringLiteral("Porta aberta em %1").arg(view.Device);
    case TLinkState::Waiting:
        return QStringLiteral("Aguardando o dispositivo %1").arg(view.Device);
    case TLinkState::Closed:
        break;
    }
    return QStringLiteral("Porta fechada");
}

QString DataBitsText(QSerialPort::DataBits bits)
{
    return QString::number(int(bits));
}

QString ParityText(QSerialPort::Parity parity)
{
    switch (parity) {
    case QSerialPort::EvenParity:
        return QStringLiteral("E");
    case QSerialPort::OddParity:
        return QStringLiteral("O");
    case QSerialPort::MarkParity:
        return QStringLiteral("M");
    case QSerialPort::SpaceParity:
        return QStringLiteral("S");
    default:
        return QStringLiteral("N");
    }
}

QString StopBitsText(QSerialPort::StopBits bits)
{
    switch (bits) {
    case QSerialPort::OneAndHalfStop:
        return QStringLiteral("1,5");
    case QSerialPort::TwoStop:
        return QStringLiteral("2");
    default:
        return QStringLiteral("1");
    }
}

QString FlowText(QSerialPort::FlowControl flow)
{
    switch (flow) {
    case QSerialPort::HardwareControl:
        return QStringLiteral("controle de fluxo RTS/CTS");
    case QSerialPort::SoftwareControl:
        return QStringLiteral("controle de fluxo XON/XOFF");
    default:
        return QStringLiteral("sem controle de fluxo");
    }
}

QString OnOff(bool on)
{
    return on ? QStringLiteral("ligado") : QStringLiteral("desligado");
}

} // namespace

void TFrameRate::Sample(std::int64_t nowNs, std::uint64_t frames)
{
    m_samples.emplace_back(nowNs, frames);
    // Keep one sample at or before a second ago, and none older.
    while (m_samples.size() > 2 && m_samples[1].first <= nowNs - WindowNs)
        m_samples.pop_front();
}

double TFrameRate::PerSecond() const
{
    if (m_samples.size() < 2)
        return 0.0;
    const auto& [firstNs, firstFrames] = m_samples.front();
    const auto& [lastNs, lastFrames] = m_samples.back();
    if (lastNs <= firstNs)
        return 0.0;
    return double(lastFrames - firstFrames) * 1e9 / double(lastNs - firstNs);
}

TLinkView MakeLinkView(const TLinkCounters& counters, TLinkState state, const TSerialSettings& chosen,
                       const QString& openDevice, const QString& lastAttempt)
{
    TLinkView view;
    view.Counters = counters;
    view.State = state;
    view.Settings = chosen;
    view.LastAttempt = lastAttempt;
    const QString name = chosen.Port.trimmed();
    QString path = openDevice;
    // While waiting, it is the chosen name's path that is to come back.
    if (state == TLinkState::Waiting)
        path = TDeviceResolver::PathToWaitFor(name);
    view.Device = (path.isEmpty() || path == name) ? name : QStringLiteral("%1 (%2)").arg(name, path);
    return view;
}

QString LineDescription(const TSerialSettings& s)
{
    QStringList parts;
    parts << QStringLiteral("%1 baud").arg(s.BaudRate)
          << DataBitsText(s.DataBits) + ParityText(s.Parity) + StopBitsText(s.StopBits) << FlowText(s.FlowControl)
          << QStringLiteral("DTR %1").arg(OnOff(s.Dtr));
    if (s.RtsIsOurs())
        parts << QStringLiteral("RTS %1").arg(OnOff(s.Rts));
    else
        parts << QStringLiteral("RTS do controle de fluxo");
    return parts.join(QStringLiteral(", "));
}

QString StatusLineText(const TLinkView& v)
{
    const TLinkCounters& c = v.Counters;
    // The state on a line of its own: a long path then wraps there, and
    // the counts keep their place as they grow.
    QString text = QStringLiteral("Quadros: %1 · falhas: %2 · bytes ignorados: %3 · %4 quadros/s\n%5")
                       .arg(FormatCount(c.TotalFrames()), FormatShare(c.FailedChecks, c.TotalFrames()),
                            FormatCount(c.SkippedBytes), FormatRate(v.FramesPerSecond), StateText(v));
    if (v.Recording.Active || v.Recording.Finishing) {
        const QString behind = v.Recording.Behind > 0
                                   ? QStringLiteral(", %1 quadros atrás").arg(FormatCount(v.Recording.Behind))
                                   : QString();
        text += QStringLiteral(" · %1 %2 (%3 linhas%4)")
                    .arg(v.Recording.Active ? QStringLiteral("gravando em") : QStringLiteral("terminando de gravar"),
                         QFileInfo(v.Recording.Path).fileName(), FormatCount(v.Recording.Rows), behind);
    }
    if (!v.Notice.isEmpty())
        text += QStringLiteral(" · ") + v.Notice;
    return text;
}

QString LampToolTip(const TLinkView& v)
{
    const TLinkCounters& c = v.Counters;
    QStringList lines;
    lines << StateText(v);
    if (v.State == TLinkState::Waiting && !v.LastAttempt.isEmpty())
        lines << QStringLiteral("Última tentativa: %1").arg(v.LastAttempt);
    lines << QStringLiteral("Quadros recebidos: %1 (X %2, Y %3, Z %4)")
                 .arg(FormatCount(c.TotalFrames()), FormatCount(c.Frames[axX]), FormatCount(c.Frames[axY]),
                      FormatCount(c.Frames[axZ]))
          << QStringLiteral("Falhas na verificação: %1 (%2)")
                 .arg(FormatCount(c.FailedChecks), FormatShare(c.FailedChecks, c.TotalFrames()))
          << QStringLiteral("Bytes ignorados: %1 de %2 lidos").arg(FormatCount(c.SkippedBytes), FormatCount(c.BytesRead))
          << QStringLiteral("Quadros por segundo (último segundo): %1").arg(FormatRate(v.FramesPerSecond))
          << QStringLiteral("Porta escolhida: %1").arg(v.Settings.Port.trimmed())
          << QStringLiteral("Configuração: %1").arg(LineDescription(v.Settings))
          << QStringLiteral("Reconexão automática: %1").arg(v.Settings.Reconnect ? QStringLiteral("ligada")
                                                                                  : QStringLiteral("desligada"))
          << (v.Recording.Active ? QStringLiteral("Gravação: %1 (%2 linhas)")
                                       .arg(v.Recording.Path, FormatCount(v.Recording.Rows))
                                 : QStringLiteral("Gravação: nenhuma"));
    return lines.join(QLatin1Char('\n'));
}

TLinkMonitor::TLinkMonitor(QLabel* line, QWidget* lamp, TSource source, TClock clock, QObject* parent)
    : QObject(parent), m_line(line), m_lamp(lamp), m_source(std::move(source)), m_clock(std::move(clock))
{
    auto* timer = new QTimer(this);
    timer->setInterval(RefreshMs);
    connect(timer, &QTimer::timeout, this, &TLinkMonitor::Refresh);
    timer->start();
    Refresh();
}

void TLinkMonitor::Refresh()
{
    TLinkView view = m_source();
    m_rate.Sample(m_clock(), view.Counters.TotalFrames());
    view.FramesPerSecond = view.State == TLinkState::Open ? m_rate.PerSecond() : 0.0;
    m_shown = view;
    if (m_line)
        m_line->setText(StatusLineText(view));
    if (m_lamp)
        m_lamp->setToolTip(LampToolTip(view));
}
