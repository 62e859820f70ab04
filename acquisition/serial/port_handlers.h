#pragma once
// The bodies of the main window's port handlers. They hold only behaviour
// and catch nothing; the window binds them to its buttons, its close and the
// port's receive notification. Usable before the window exists.

class ISampleSink;
class QObject;
class QWidget;
class TComPort;

class TPortHandlers {
public:
    TPortHandlers(TComPort& comPort1, ISampleSink& sink, QWidget* dialogParent = nullptr);

    void Button1Click();   // "Config. Serial": the settings dialog
    void Button2Click();   // "Inicia": open the port (errors reach the caller)
    void Button3Click();   // "Para": close the port, open or not
    void FormClose();      // window closing: close the port if it is open
    void ComPort1RxChar(QObject* sender, int count);   // decode what is waiting

private:
    TComPort& ComPort1;
    ISampleSink& m_sink;
    QWidget* m_dialogParent;
};
