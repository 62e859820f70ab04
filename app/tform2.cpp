#include "tform2.h"
#include "ui_tform2.h"

#include "accelerometer_chart.h"
#include "port_handlers.h"
#include "series_sink.h"
#include "tapplication.h"
#include "tchart.h"
#include "tcomled.h"
#include "tcomport.h"

#include <QCloseEvent>
#include <QPalette>
#include <QPushButton>

TForm2* Form2 = nullptr;

TForm2::TForm2(QWidget* parent) : QWidget(parent), ui_(std::make_unique<Ui::TForm2>())
{
    ui_->setupUi(this);

    // Button-face colour for the window's background; a sans-serif font
    // where Tahoma is missing.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);
    setAutoFillBackground(true);
    QFont f = font();
    f.setStyleHint(QFont::SansSerif);
    setFont(f);

    Chart1 = ui_->Chart1;
    Button1 = ui_->Button1;
    Button2 = ui_->Button2;
    Button3 = ui_->Button3;
    ComLed1 = ui_->ComLed1;

    // The port starts closed with its start-up settings.
    ComPort1 = new TComPort(this);
    ComPort1->setObjectName(QStringLiteral("ComPort1"));

    const TAccelerometerSeries series = ApplyAccelerometerChart(*Chart1);
    Series1 = series.Series1;
    Series2 = series.Series2;
    Series3 = series.Series3;

    ComLed1->SetComPort(ComPort1);
    ComLed1->SetLedSignal(TComLed::lsConn);
    ComLed1->SetKind(TComLed::lkRedLight);

    sink_ = std::make_unique<TSeriesSink>(*Series1, *Series2, *Series3);
    handlers_ = std::make_unique<TPortHandlers>(*ComPort1, *sink_, this);

    BindHandlers();
}

TForm2::~TForm2() = default;

void TForm2::BindHandlers()
{
    connect(Button1, &QPushButton::clicked, this, [this] { RunGuarded([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { RunGuarded([this] { Button2Click(); }); });
    connect(Button3, &QPushButton::clicked, this, [this] { RunGuarded([this] { Button3Click(); }); });
    ComPort1->OnRxChar = [this](QObject* sender, int count) { ComPort1RxChar(sender, count); };
    // Failures that the port met on its own (device gone, a receive
    // handler that failed) reach the user like any other error.
    connect(ComPort1, &TComPort::failure, this, [](const QString& message) {
        if (Application)
            Application->ShowException(message);
    });
}

void TForm2::ComPort1RxChar(QObject* sender, int count) { handlers_->ComPort1RxChar(sender, count); }
void TForm2::Button1Click() { handlers_->Button1Click(); }
void TForm2::Button2Click() { handlers_->Button2Click(); }
void TForm2::FormClose() { handlers_->FormClose(); }
void TForm2::Button3Click() { handlers_->Button3Click(); }

void TForm2::closeEvent(QCloseEvent* event)
{
    RunGuarded([this] { FormClose(); });
    QWidget::closeEvent(event);
}
