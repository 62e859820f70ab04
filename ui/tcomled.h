#pragma once
// The connection lamp: a small round lamp bound to a port. With lsConn it is
// lit while the port is open and dark while it is closed, following the
// port's connectedChanged by itself. lkRedLight draws it red. While the
// application waits for the device to come back (SetWaiting) the closed
// lamp blinks, lit for half of every second.

#include <QPointer>
#include <QWidget>

class QTimer;
class TComPort;

class TComLed : public QWidget {
    Q_OBJECT
public:
    enum TLedSignal { lsConn };
    enum TLedKind { lkRedLight };

    explicit TComLed(QWidget* parent = nullptr);

    void SetComPort(TComPort* port);
    TComPort* ComPort() const;
    void SetLedSignal(TLedSignal signal);
    void SetKind(TLedKind kind);

    bool IsLit() const;

    static constexpr int BlinkMs = 500; // half a blink
    void SetWaiting(bool waiting);
    bool IsWaiting() const { return m_waiting; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPointer<TComPort> m_port;
    QMetaObject::Connection m_connection;
    TLedSignal m_signal = lsConn;
    TLedKind m_kind = lkRedLight;
    QTimer* m_blink = nullptr;
    bool m_waiting = false;
    bool m_blinkOn = false;
};
