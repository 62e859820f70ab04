// The "Config. Serial" dialog and the connection lamp.
#include "pty_pair.h"
#include "serial_setup_dialog.h"
#include "tcomled.h"
#include "tcomport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
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
    s.Reconnect = true;
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

TEST(SerialSetupDialog, TypingIsNeverCompletedInline)
{
    TSerialSetupDialog dialog(TSerialSettings{}, {});
    dialog.SetPortSource([] { return QList<TPortChoice>{{"ttyS0", ""}, {"ttyS1", ""}, {"ttyUSB0", ""}}; },
                         QString());
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    struct Case { const char* box; QString typed; };
    const Case cases[] = {{"portCombo", "tt"}, {"portCombo", "ttyU"}, {"baudCombo", "11"}, {"baudCombo", "96"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.box);
        auto* box = Child<QComboBox>(dialog, c.box);
        box->setFocus();
        box->lineEdit()->clear();
        QTest::keyClicks(box->lineEdit(), c.typed);
        EXPECT_EQ(box->currentText().toStdString(), c.typed.toStdString());
        EXPECT_FALSE(box->lineEdit()->hasSelectedText());
    }
}

// The machine as the dialog sees it: a list of ports that a test changes,
// and a folder standing in for /dev whose changes make the dialog look.
class PortListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dev.isValid());
        dialog.SetPortSource([this] { return machine; }, dev.path());
        port = Child<QComboBox>(dialog, "portCombo");
    }

    QStringList Items() const
    {
        QStringList items;
        for (int i = 0; i < port->count(); ++i)
            items << port->itemText(i);
        return items;
    }

    // A device node appears or goes in the watched folder.
    void Touch(const QString& name)
    {
        QFile node(dev.filePath(name));
        if (node.exists())
            node.remove();
        else
            ASSERT_TRUE(node.open(QIODevice::WriteOnly));
    }

    QList<TPortChoice> machine{{"ttyS0", "16550A"}, {"ttyUSB0", "FT232R USB UART"}};
    QTemporaryDir dev;
    TSerialSetupDialog dialog{TSerialSettings{}, {{"Acelerômetro simulado", "simulado"}}};
    QComboBox* port = nullptr;
};

TEST_F(PortListTest, DevicesThatComeAndGoShowUpAndLeaveWithoutTouchingWhatWasTyped)
{
    EXPECT_EQ(Items(), QStringList({"ttyS0", "ttyUSB0", "Acelerômetro simulado"}));
    EXPECT_EQ(port->currentText(), "COM10");

    port->lineEdit()->clear();
    QTest::keyClicks(port->lineEdit(), "/dev/serial/by-id/usb-FT");
    port->lineEdit()->setCursorPosition(5);

    struct Step { const char* what; QList<TPortChoice> machine; QStringList items; };
    const Step steps[] = {
        {"an adapter plugged in",
         {{"ttyACM0", "Arduino Uno"}, {"ttyS0", "16550A"}, {"ttyUSB0", "FT232R USB UART"}},
         {"ttyACM0", "ttyS0", "ttyUSB0", "Acelerômetro simulado"}},
        {"another pulled out",
         {{"ttyACM0", "Arduino Uno"}, {"ttyS0", "16550A"}},
         {"ttyACM0", "ttyS0", "Acelerômetro simulado"}},
        {"all gone", {}, {"Acelerômetro simulado"}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        machine = s.machine;
        Touch("ttyX");
        ASSERT_TRUE(QTest::qWaitFor([&] { return Items() == s.items; }, 5000)) << Items().join(", ").toStdString();
        EXPECT_EQ(port->currentText(), "/dev/serial/by-id/usb-FT");
        EXPECT_EQ(port->lineEdit()->cursorPosition(), 5);
        EXPECT_EQ(dialog.Settings().Port, "/dev/serial/by-id/usb-FT");
    }
    EXPECT_EQ(port->itemData(0, Qt::ToolTipRole).toString(), "simulado");
}

TEST_F(PortListTest, AChosenDeviceThatGoesAwayStaysChosen)
{
    port->setCurrentIndex(port->findText("ttyUSB0"));
    ASSERT_EQ(port->currentText(), "ttyUSB0");
    machine = {{"ttyS0", "16550A"}};
    dialog.RefreshPorts();
    EXPECT_EQ(Items(), QStringList({"ttyS0", "Acelerômetro simulado"}));
    EXPECT_EQ(dialog.Settings().Port, "ttyUSB0");

    // Back again: the list has it, and the box still says it.
    machine = {{"ttyS0", "16550A"}, {"ttyUSB0", "FT232R USB UART"}};
    dialog.RefreshPorts();
    EXPECT_EQ(Items(), QStringList({"ttyS0", "ttyUSB0", "Acelerômetro simulado"}));
    EXPECT_EQ(port->itemData(1, Qt::ToolTipRole).toString(), "FT232R USB UART");
    EXPECT_EQ(dialog.Settings().Port, "ttyUSB0");
}

TEST(ComLed, BlinksWhileWaitingForTheDevice)
{
    TComPort port;
    TComLed led;
    led.SetComPort(&port);
    EXPECT_FALSE(led.IsWaiting());
    led.SetWaiting(true);
    EXPECT_TRUE(led.IsWaiting());
    EXPECT_TRUE(led.IsLit()); // lit at once
    // Dark and lit in turn, half a second each.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !led.IsLit(); }, 3 * TComLed::BlinkMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return led.IsLit(); }, 3 * TComLed::BlinkMs));
    led.SetWaiting(false);
    EXPECT_FALSE(led.IsLit());
    QTest::qWait(2 * TComLed::BlinkMs);
    EXPECT_FALSE(led.IsLit()); // and it stays dark
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
