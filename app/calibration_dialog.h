#pragma once
// "Calibração": per axis, the reading at 0 g and the counts per g, typed
// or measured by the six-position method. The user lays the device with an
// axis pointing up, zooms the chart to that quiet stretch and presses
// "Esta vista é +1 g" on the axis' row, then, with the axis pointing down,
// "Esta vista é −1 g": each takes the mean of that axis over the points the
// chart shows (range_stats.h, as the analysis window does), and once both
// are there the row shows the zero and the scale they give
// (calibration.h). Nothing changes until "Aplicar" or "OK"; a row that
// cannot be used (a scale of 0, a field that is not a number) is refused
// with a message and changes nothing.
//
// Non-modal: the chart goes on updating and takes the zooms between the
// measurements. The chart and the session must outlive the dialog.

#include "calibration.h"
#include "reporter.h"

#include <QDialog>
#include <QPointer>
#include <QString>

#include <array>
#include <optional>

class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TChart;
class TSession;

class TCalibrationDialog : public QDialog {
    Q_OBJECT
public:
    // Starts with current's numbers in the fields (empty when none).
    // Refusals go to report.
    TCalibrationDialog(TChart& chart, const TSession& session, const std::optional<TCalibration>& current,
                       TReporter report, QWidget* parent = nullptr);

    // Puts calibration's numbers in the fields.
    void SetCalibration(const TCalibration& calibration);
    // The mean of axis over the chart's view now, taken as +1 g (up) or
    // -1 g; with both taken, the fields of the axis get what they give.
    // Throws Exception when the view holds no point of the axis or the two
    // means are equal (the fields stay as they were).
    void MeasureView(TAxis axis, bool up);
    // The calibration in the fields. Throws Exception naming the axis and
    // the field when one is not a number, or an axis is not usable.
    TCalibration Typed() const;

    QPushButton* MeasureButton(TAxis axis, bool up) const;
    QLineEdit* ZeroField(TAxis axis) const { return m_rows[axis].Zero; }
    QLineEdit* ScaleField(TAxis axis) const { return m_rows[axis].Scale; }
    QString MeanText(TAxis axis, bool up) const;
    QPushButton* ApplyButton() const { return m_apply; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

signals:
    // "Aplicar" or "OK" with a calibration that can be used.
    void applied(const TCalibration& calibration);

private:
    struct TRow {
        QPushButton* Up = nullptr;
        QPushButton* Down = nullptr;
        QLabel* UpMean = nullptr;
        QLabel* DownMean = nullptr;
        QLineEdit* Zero = nullptr;
        QLineEdit* Scale = nullptr;
        std::optional<double> MeanUp;
        std::optional<double> MeanDown;
    };

    void BuildUi();
    // Applies the fields; true when they could be.
    bool Apply();
    void SetField(QLineEdit* field, double value);

    QPointer<TChart> m_chart;
    const TSession& m_session;
    TReporter m_report;
    std::array<TRow, AxisCount> m_rows;
    QLabel* m_status = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_apply = nullptr;
    QPushButton* m_cancel = nullptr;
};

// A number typed in a field: with a decimal comma ("2048,5", "2.048,5") or
// point ("2048.5"); nothing when it is not one.
std::optional<double> ParseTypedNumber(const QString& text);
// A number as a field shows it, with at most decimals: "2048", "409,6".
QString TypedNumberText(double value, int decimals = 4);
