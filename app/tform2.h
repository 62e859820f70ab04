#pragma once
// The program's one window: chart, connection lamp, the three buttons, the
// status line below the chart and the serial port, laid out by tform2.ui
// and wired when it is created. The window owns the session (every point
// received), the receiver that feeds it from the port, and the user's
// serial settings, which it applies to the port as the settings dialog
// returns them. With reconnection on, a device that goes away is waited
// for (link_status.h, reconnector.h).

#include "data_dialogs.h"
#include "device_resolver.h"
#include "receiver.h"
#include "recorder.h"
#include "serial_settings.h"
#include "session.h"

#include <QList>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <memory>

class QAction;
class QCloseEvent;
class QLabel;
class QPushButton;
class TChart;
class TComLed;
class TComPort;
class TDataActions;
class TFastLineSeries;
class TLinkMonitor;
class TReconnector;

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
    QLabel* StatusLine = nullptr;

    // Event handlers.
    void ComPort1RxChar(QObject* sender, int count);
    void Button1Click();   // "Config. Serial": the settings dialog
    void Button2Click();   // "Inicia": open the port (errors reach the caller);
                           // with reconnection on, a device not there is waited for
    void FormClose();      // closing: stop waiting, close the port if it is open,
                           // end the recording
    void Button3Click();   // "Para": stop waiting, close the port, open or not

    // The serial settings as the user chose them. Setting them does what
    // OK in the dialog does: while open, line settings take effect at once
    // and another device reopens the port there.
    const TSerialSettings& SerialSettings() const { return m_settings; }
    void SetSerialSettings(const TSerialSettings& settings);

    const TSession& Session() const { return m_session; }
    const TReceiver& Receiver() const { return m_receiver; }
    // Reconnection on, the device gone: waiting for it to come back.
    bool WaitingForDevice() const;
    const TLinkMonitor& LinkMonitor() const { return *m_linkMonitor; }

    // Recording, export and pictures of the session (data_actions.h).
    // StartRecording throws Exception when the file cannot be written;
    // StopRecording when the last rows cannot (it has stopped either way).
    void StartRecording(const QString& path);
    void StopRecording();
    bool IsRecording() const;
    TRecordingState RecordingState() const;
    // "Gravar…", "Parar gravação", "Exportar dados…", "Salvar imagem…",
    // owned by the window, for the menus that offer them.
    QList<QAction*> DataActions() const;
    // What the actions ask the user (a file, a picture's size).
    void SetDataDialogs(TDataDialogs dialogs);

    // "Tela cheia": the chart alone filling the window, the window on the
    // whole screen; off again, the declared layout.
    void ShowChartAlone(bool alone);
    bool ChartAlone() const { return m_chartAlone; }

signals:
    void recordingStateChanged(const TRecordingState& state);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BindHandlers();
    void OpenPort();
    void PortConnectedChanged(bool open);
    void PortFailed(const QString& message, int kind);

    std::unique_ptr<Ui::TForm2> m_ui;
    TSession m_session;
    TReceiver m_receiver;
    TDeviceResolver m_devices;
    TSerialSettings m_settings;
    TReconnector* m_reconnector = nullptr;
    TLinkMonitor* m_linkMonitor = nullptr;
    bool m_chartAlone = false;
    bool m_wasMaximized = false;
    QRect m_chartGeometry;                   // as declared
    QList<QPointer<QWidget>> m_hiddenForChart;
    // Reads the session: goes first.
    std::unique_ptr<TDataActions> m_data;
};

// The one instance, set by the application when it creates the window.
extern TForm2* Form2;
