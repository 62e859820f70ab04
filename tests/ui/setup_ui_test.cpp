// The "Config. Serial" dialog and the connection lamp.
#include "pty_pair.h"
#include "serial_setup_dialog.h"
#include "tcomled.h"
#include "tcomport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QTimer>

#include <gtest/gtest.h>

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
        TSerialSetupDialog dialog(s, {});
        EXPECT_EQ(dialog.windowTitle(), "Config. Serial");
        EXPECT_TRUE(dialog.Settings() == s);
    }
}

TEST(SerialSetupDialog, OffersTheCallersPortsStandardRatesAndAllLineChoices)
{
    TSerialSetupDialog dialog(TSerialSettings{}, {{"Dispositivo de teste", "Só para o teste"}});
    auto* port = Child<QComboBox>(dialog, "portCombo");
    auto* baud = Child<QComboBox>(dialog, "baudCombo");
    ASSERT_TRUE(port && baud);
    EXPECT_TRUE(port->isEditable()); // a path typed by hand
    const int extra = port->findText("Dispositivo de teste");
    ASSERT_GE(extra, 0);
    EXPECT_EQ(port->itemData(extra, Qt::ToolTipRole).toString(), "Só para o teste");
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
