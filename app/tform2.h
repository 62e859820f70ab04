#pragma once
// The program's one window: chart, connection lamp, the three buttons and
// the serial port, laid out by tform2.ui and wired when it is created. The
// window owns the session (every point received), the receiver that feeds
// it from the port, and the user's serial settings, which it applies to the
// port as the settings dialog returns them.

#include "device_resolver.h"
#include "receiver.h"
#include "serial_settings.h"
#include "session.h"

#include <QList>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <memory>

class QCloseEvent;
class QPushButton;
class TChart;
class TComLed;
class TComPort;
class TFastLineSeries;

namespace Ui { class TForm2; }

class TForm2 : public QWidget {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    // Components.
    TChart* Chart1 = nullptr;
    TComPort* ComPort1 = nullptr;
    TFastLineSeries* Series1 = nullptr;
    TFastLineSeries* Series2 = nullptr;
    TFastLineSeries* Series3 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    TComLed* ComLed1 = nullptr;

    // Event handlers.
    void ComPort1RxChar(QObject* sender, int count);
    void Button1Click();   // "Config. Serial": the settings dialog
    void Button2Click();   // "Inicia": open the port (errors reach the caller)
    void FormClose();      // closing: close the port if it is open
    void Button3Click();   // "Para": close the port, open or not

    // The serial settings as the user chose them. Setting them does what
    // OK in the dialog does: while open, line settings take effect at once
    // and another device reopens the port there.
    const TSerialSettings& SerialSettings() const { return m_settings; }
    void SetSerialSettings(const TSerialSettings& settings);

    const TSession& Session() const { return m_session; }
    const TReceiver& Receiver() const { return m_receiver; }

    // "Tela cheia": the chart alone filling the window, the window on the
    // whole screen; off again, the declared layout.
    void ShowChartAlone(bool alone);
    bool ChartAlone() const { return m_chartAlone; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BindHandlers();
    void OpenPort();
    void PortConnectedChanged(bool open);

    std::unique_ptr<Ui::TForm2> m_ui;
    TSession m_session;
    TReceiver m_receiver;
    TDeviceResolver m_devices;
    TSerialSettings m_settings;
    bool m_chartAlone = false;
    bool m_wasMaximized = false;
    QRect m_chartGeometry;                   // as declared
    QList<QPointer<QWidget>> m_hiddenForChart;
};

// The one instance, set by the application when it creates the window.
extern TForm2* Form2;
