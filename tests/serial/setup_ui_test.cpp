// The "Config. Serial" dialog and the connection lamp.
#include "serial_test_support.h"

#include "pty_pair.h"
#include "serial_setup_dialog.h"
#include "tcomled.h"
#include "tcomport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QTimer>

#include <termios.h>

namespace {

template <class W>
W* Child(QWidget& parent, const char* name)
{
    W* w = parent.findChild<W*>(QLatin1String(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

TSerialSettings Unusual()
{
    TSerialSettings s;
    s.Port = "/dev/ttyACM3";
    s.BaudRate = 250000; // not a standard rate
    s.DataBits = QSerialPort::Data5;
    s.Parity = QSerialPort::MarkParity;
    s.StopBits = QSerialPort::OneAndHalfStop;
    s.FlowControl = QSerialPort::SoftwareControl;
    s.Dtr = true;
    s.Rts = true;
    return s;
}

TEST(SerialSetupDialog, ShowsAndReturnsEverySetting)
{
    for (const TSerialSettings& s : {TSerialSettings{}, Unusual()}) {
        SCOPED_TRACE(s.Port.toStdString());
        TSerialSetupDialog dialog(s);
        EXPECT_EQ(dialog.windowTitle(), "Config. Serial");
        EXPECT_TRUE(dialog.Settings() == s);
    }
}

TEST(SerialSetupDialog, OffersTheSimulatorStandardRatesAndAllLineChoices)
{
    TSerialSetupDialog dialog(TSerialSettings{});
    auto* port = Child<QComboBox>(dialog, "portCombo");
    auto* baud = Child<QComboBox>(dialog, "baudCombo");
    ASSERT_TRUE(port && baud);
    EXPECT_TRUE(port->isEditable()); // a path typed by hand
    EXPECT_GE(port->findText(SimulatedDeviceName()), 0);
    EXPECT_TRUE(baud->isEditable()); // a custom rate
    EXPECT_EQ(baud->itemText(0), "110");
    EXPECT_EQ(baud->itemText(baud->count() - 1), "921600");
    EXPECT_EQ(Child<QComboBox>(dialog, "dataBitsCombo")->count(), 4);
    EXPECT_EQ(Child<QComboBox>(dialog, "parityCombo")->count(), 5);
    EXPECT_EQ(Child<QComboBox>(dialog, "stopBitsCombo")->count(), 3);
    EXPECT_EQ(Child<QComboBox>(dialog, "flowCombo")->count(), 3);

    port->setCurrentText("ttyUSB1");
    baud->setCurrentText("31250");
    const TSerialSettings s = dialog.Settings();
    EXPECT_EQ(s.Port, "ttyUSB1");
    EXPECT_EQ(s.BaudRate, 31250);
}

// Runs ShowSetupDialog, acting on the dialog once it is up.
bool RunDialog(TComPort& port, const std::function<void(TSerialSetupDialog&)>& act)
{
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<TSerialSetupDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        seen = true;
        act(*dialog);
    });
    const bool accepted = port.ShowSetupDialog();
    EXPECT_TRUE(seen) << "the dialog was not modal";
    return accepted;
}

TEST(SerialSetupDialog, OkAppliesAndCancelChangesNothing)
{
    TComPort port;
    const auto chooseFastRate = [](TSerialSetupDialog& d) {
        Child<QComboBox>(d, "baudCombo")->setCurrentText("115200");
        Child<QCheckBox>(d, "dtrCheck")->setChecked(true);
    };
    EXPECT_FALSE(RunDialog(port, [&](TSerialSetupDialog& d) {
        chooseFastRate(d);
        d.reject();
    }));
    EXPECT_TRUE(port.Settings() == TSerialSettings{});

    EXPECT_TRUE(RunDialog(port, [&](TSerialSetupDialog& d) {
        chooseFastRate(d);
        d.accept();
    }));
    EXPECT_EQ(port.Settings().BaudRate, 115200);
    EXPECT_TRUE(port.Settings().Dtr);
    EXPECT_EQ(port.Settings().Port, "COM10");
}

TEST(SerialSetupDialog, OkWhileOpenTakesEffectAtOnce)
{
    TPtyPair pty;
    TComPort port;
    TSerialSettings s;
    s.Port = QString::fromStdString(pty.SlavePath());
    port.SetSettings(s);
    port.SetConnected(true);
    EXPECT_TRUE(RunDialog(port, [](TSerialSetupDialog& d) {
        Child<QComboBox>(d, "baudCombo")->setCurrentText("57600");
        d.accept();
    }));
    EXPECT_TRUE(port.Connected());
    termios t{};
    ASSERT_EQ(tcgetattr(pty.Slave(), &t), 0);
    EXPECT_EQ(cfgetispeed(&t), speed_t(B57600));
}

TEST(ComLed, LitRedWhileThePortIsOpen)
{
    TPtyPair pty;
    TComPort port;
    TSerialSettings s;
    s.Port = QString::fromStdString(pty.SlavePath());
    port.SetSettings(s);

    TComLed led;
    EXPECT_FALSE(led.IsLit()); // no port: dark
    led.SetComPort(&port);
    led.SetLedSignal(TComLed::lsConn);
    led.SetKind(TComLed::lkRedLight);
    led.resize(led.sizeHint());

    auto centre = [&] { return led.grab().toImage().pixelColor(led.width() * 2 / 3, led.height() * 2 / 3); };
    EXPECT_FALSE(led.IsLit());
    const QColor dark = centre();
    port.SetConnected(true);
    EXPECT_TRUE(led.IsLit());
    const QColor lit = centre();
    EXPECT_GT(lit.red(), dark.red() + 60);
    EXPECT_GT(lit.red(), 2 * lit.green()); // red, not white
    port.Close();
    EXPECT_FALSE(led.IsLit());
    EXPECT_EQ(centre(), dark);
}

} // namespace
