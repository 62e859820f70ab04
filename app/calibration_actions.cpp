#include "calibration_actions.h"

#include "calibration_dialog.h"
#include "calibration_file.h"
#include "calibration_io.h"
#include "data_dialogs.h"
#include "data_jobs.h"
#include "file_save.h"
#include "session.h"
#include "tchart.h"

#include <QAction>
#include <QFileDialog>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

// A value in g in the readout: a milli-g.
constexpr int ReadoutDecimals = 3;

QString AskCalibrationToOpen(QWidget* parent)
{
    return QFileDialog::getOpenFileName(parent, QStringLiteral("Abrir calibração"), QString(),
                                        QStringLiteral("Calibração do Acelerômetro (*.txt);;Todos os arquivos (*)"));
}

QString AskCalibrationToSave(QWidget* parent)
{
    return DefaultDataDialogs().FileName(parent, TFileKind::Calibration);
}

}  // namespace

TCalibrationActions::TCalibrationActions(QWidget& window, TChart& chart, const TSession& session,
                                         const TDataJobs& jobs, TReporter report)
    : m_window(window),
      m_chart(chart),
      m_session(session),
      m_jobs(jobs),
      m_report(std::move(report)),
      m_askOpen(AskCalibrationToOpen),
      m_askSave(AskCalibrationToSave),
      m_calibrate(new QAction(QStringLiteral("Calibração…"), &window)),
      m_inG(new QAction(QStringLiteral("Valores em g"), &window)),
      m_open(new QAction(QStringLiteral("Abrir calibração…"), &window)),
      m_save(new QAction(QStringLiteral("Salvar calibração…"), &window))
{
    m_calibrate->setObjectName(QStringLiteral("CalibrateAction"));
    m_inG->setObjectName(QStringLiteral("ValuesInGAction"));
    m_open->setObjectName(QStringLiteral("OpenCalibrationAction"));
    m_save->setObjectName(QStringLiteral("SaveCalibrationAction"));
    m_calibrate->setToolTip(QStringLiteral("O zero e as contagens por g de cada eixo, medidos nas seis posições ou digitados"));
    m_inG->setToolTip(QStringLiteral("Mostra as acelerações em g, pela calibração; desligado, em contagens"));
    m_open->setToolTip(QStringLiteral("Lê uma calibração salva antes"));
    m_save->setToolTip(QStringLiteral("Salva a calibração num arquivo de texto"));
    m_inG->setCheckable(true);

    connect(m_calibrate, &QAction::triggered, this, &TCalibrationActions::ShowDialog);
    connect(m_inG, &QAction::triggered, this, &TCalibrationActions::SetValuesInG);
    connect(m_open, &QAction::triggered, this, [this] {
        const QString path = m_askOpen ? m_askOpen(&m_window) : QString();
        if (!path.isEmpty())
            RunReported(m_report, [&] { OpenFile(path); });
    });
    connect(m_save, &QAction::triggered, this, [this] {
        const QString path = m_askSave ? m_askSave(&m_window) : QString();
        if (!path.isEmpty())
            RunReported(m_report, [&] { SaveFile(path); });
    });
    UpdateActions();
}

TCalibrationActions::~TCalibrationActions()
{
    // The dialog reads the chart and the session, which may go before the
    // window that owns it.
    delete m_dialog;
}

QList<QAction*> TCalibrationActions::Actions() const
{
    return {m_calibrate, m_inG, m_open, m_save};
}

void TCalibrationActions::SetFileAskers(TAsk toOpen, TAsk toSave)
{
    m_askOpen = std::move(toOpen);
    m_askSave = std::move(toSave);
}

void TCalibrationActions::Apply(const TCalibration& calibration)
{
    CheckCalibration(calibration);
    m_current = calibration;
    m_valuesInG = true;
    UpdateChart();
    UpdateActions();
}

void TCalibrationActions::SetValuesInG(bool inG)
{
    m_valuesInG = inG && m_current;
    UpdateChart();
    UpdateActions();
}

void TCalibrationActions::UpdateChart()
{
    TValueScale scale;
    if (ValuesInG()) {
        const TCalibration& calibration = *m_current;
        scale.Unit = QStringLiteral("g");
        scale.AxisTitle = QStringLiteral("Aceleração (g)");
        scale.Decimals = ReadoutDecimals;
        scale.Step = 0;
        for (int i = 0; i < m_chart.SeriesCount(); ++i) {
            TValueMap map;
            for (int axis = 0; axis < AxisCount; ++axis) {
                if (&m_session.Values(TAxis(axis)) == &m_chart.Series(i)->Store())
                    map = calibration[std::size_t(axis)].Map();
            }
            scale.Maps.push_back(map);
            // A count, in g: the finest step the values take.
            const double count = 1 / std::fabs(map.PerUnit);
            scale.Step = scale.Step == 0 ? count : std::min(scale.Step, count);
        }
        if (!(scale.Step > 0))
            scale.Step = 1;
    } else if (m_current) {
        scale.AxisTitle = QStringLiteral("Contagens");
    }
    m_chart.SetValueScale(scale);
}

void TCalibrationActions::UpdateActions()
{
    m_inG->setEnabled(m_current.has_value());
    m_inG->setChecked(ValuesInG());
    m_save->setEnabled(m_current.has_value());
}

void TCalibrationActions::OpenFile(const QString& path)
{
    const TCalibration calibration = ReadCalibrationFile(path);
    Apply(calibration);
    if (m_dialog)
        m_dialog->SetCalibration(calibration);
}

void TCalibrationActions::SaveFile(const QString& path)
{
    if (!m_current)
        throw Exception("Não há calibração para salvar: calibre os eixos ou abra uma calibração primeiro.");
    m_jobs.CheckNotInUse(path);
    TFileSave* save = StartFileSave(path, FormatCalibration(*m_current), *this, m_report);
    connect(save, &TFileSave::saved, this, &TCalibrationActions::saved);
}

TCalibrationDialog* TCalibrationActions::Dialog() const
{
    return m_dialog;
}

TCalibrationDialog* TCalibrationActions::ShowDialog()
{
    if (!m_dialog) {
        m_dialog = new TCalibrationDialog(m_chart, m_session, m_current, m_report, &m_window);
        m_dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_dialog, &TCalibrationDialog::applied, this,
                [this](const TCalibration& calibration) { RunReported(m_report, [&] { Apply(calibration); }); });
    }
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
    return m_dialog;
}
