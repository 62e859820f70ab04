#pragma once
// Values in g for a window with a chart: its calibration (calibration.h),
// which the program keeps only while it runs, and the actions of the
// chart's menu that set it and use it:
//
// - "Calibração…": the calibration dialog (calibration_dialog.h) over the
//   chart, non-modal;
// - "Valores em g": checkable; on as soon as a calibration applies, off
//   back to counts; off and greyed while there is none;
// - "Abrir calibração…" and "Salvar calibração…": the calibration's text
//   file (calibration_file.h), saved only where the user asks, written on
//   the file's own thread (file_save.h).
//
// In g, the chart's left axis, its readout and the analysis window show
// each axis through its own calibration (the chart's value scale); the
// session, the recording and the exports keep the counts. Once there is a
// calibration the left axis says its unit ("Aceleração (g)" or
// "Contagens"); before, the chart looks as it always did.

#include "calibration.h"
#include "reporter.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

class QAction;
class QWidget;
class TCalibrationDialog;
class TChart;
class TDataJobs;
class TSession;

class TCalibrationActions : public QObject {
    Q_OBJECT
public:
    // window: the actions' owner and the dialogs' parent; chart shows
    // session; jobs write the window's files (a calibration is never saved
    // over one of them). All outlive this object.
    TCalibrationActions(QWidget& window, TChart& chart, const TSession& session, const TDataJobs& jobs,
                        TReporter report);
    ~TCalibrationActions() override;

    // In menu order: Calibração…, Valores em g, Abrir calibração…,
    // Salvar calibração…
    QList<QAction*> Actions() const;
    QAction* ValuesInGAction() const { return m_inG; }

    // Puts calibration in use, values in g. Throws Exception when an axis
    // cannot be used; nothing changes then.
    void Apply(const TCalibration& calibration);
    const std::optional<TCalibration>& Current() const { return m_current; }
    // Values in g (with a calibration) or in counts.
    void SetValuesInG(bool inG);
    bool ValuesInG() const { return m_current && m_valuesInG; }

    // Reads and applies the calibration in path. Throws Exception when it
    // cannot be read or is not a calibration; nothing changes then.
    void OpenFile(const QString& path);
    // Starts saving the calibration to path; saved follows, or the
    // failure goes to the reporter. Throws Exception when there is none,
    // path is a file the window is writing, or it cannot be created.
    void SaveFile(const QString& path);

    // Shows the dialog (raised when open already).
    TCalibrationDialog* ShowDialog();
    TCalibrationDialog* Dialog() const;

    // What "Abrir calibração…" and "Salvar calibração…" ask for the file
    // (by default file dialogs); an empty name gives up.
    using TAsk = std::function<QString(QWidget* parent)>;
    void SetFileAskers(TAsk toOpen, TAsk toSave);

signals:
    // A calibration file is complete under its name.
    void saved(const QString& path);

private:
    void UpdateChart();
    void UpdateActions();

    QWidget& m_window;
    TChart& m_chart;
    const TSession& m_session;
    const TDataJobs& m_jobs;
    TReporter m_report;
    std::optional<TCalibration> m_current;
    bool m_valuesInG = false;
    QPointer<TCalibrationDialog> m_dialog;
    TAsk m_askOpen;
    TAsk m_askSave;
    QAction* m_calibrate;
    QAction* m_inG;
    QAction* m_open;
    QAction* m_save;
};
