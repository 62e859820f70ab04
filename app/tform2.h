#pragma once
// The program's one window: chart, connection lamp, the three buttons and
// the serial port, laid out by tform2.ui and wired when it is created.

#include <QWidget>

#include <memory>

class QCloseEvent;
class QPushButton;
class TChart;
class TComLed;
class TComPort;
class TFastLineSeries;
class TPortHandlers;
class TSeriesSink;

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
    void Button1Click();
    void Button2Click();
    void FormClose();
    void Button3Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BindHandlers();

    std::unique_ptr<Ui::TForm2> ui_;
    std::unique_ptr<TSeriesSink> sink_;
    std::unique_ptr<TPortHandlers> handlers_;
};

// The one instance, set by the application when it creates the window.
extern TForm2* Form2;
