#pragma once
// The connection lamp: a small round lamp bound to a port. With lsConn it is
// lit while the port is open and dark while it is closed, following the
// port's connectedChanged by itself. lkRedLight draws it red.

#include <QPointer>
#include <QWidget>

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

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPointer<TComPort> m_port;
    QMetaObject::Connection m_connection;
    TLedSignal m_signal = lsConn;
    TLedKind m_kind = lkRedLight;
};
