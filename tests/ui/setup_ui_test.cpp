// The "Config. Serial" dialog and the connection lamp.
#include "pty_pair.h"
#include "serial_setup_dialog.h"
#include "tcomled.h"
#include "tcomport.h"

#include <QApplication>
#include <QCheckBox>
#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QPushButton>
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

// The lists open on what the settings say, not on their first entry.
TEST(SerialSetupDialog, ListsOpenOnTheCurrentChoice)
{
    TSerialSettings settings;  // 9600 baud
    settings.Port = "ttyUSB0";
    TSerialSetupDialog dialog(settings, {});
    dialog.SetPortSource([] { return QList<TPortChoice>{{"ttyS0", ""}, {"ttyUSB0", ""}}; }, QString());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    for (const auto& [name, text] : {std::pair<const char*, QString>{"baudCombo", "9600"}, {"portCombo", "ttyUSB0"}}) {
        SCOPED_TRACE(name);
        auto* box = Child<QComboBox>(dialog, name);
        EXPECT_EQ(box->currentText(), text);
        EXPECT_EQ(box->currentIndex(), box->findText(text));
        box->showPopup();
        ASSERT_TRUE(QTest::qWaitFor([&] { return box->view()->isVisible(); }, 5000));
        EXPECT_EQ(box->view()->currentIndex().row(), box->findText(text));
        box->hidePopup();
    }
    EXPECT_TRUE(dialog.Settings() == settings);
}

// Typing shows the matching entries in a list below the box; a click on
// OK then must accept at once, not only close that list.
TEST(SerialSetupDialog, OneClickOnOkAcceptsAfterTyping)
{
    struct Case { const char* box; QString typed; };
    const Case cases[] = {{"baudCombo", "96"}, {"baudCombo", "1920"}, {"portCombo", "tty"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        TSerialSetupDialog dialog(TSerialSettings{}, {});
        dialog.SetPortSource([] { return QList<TPortChoice>{{"ttyS0", ""}, {"ttyUSB0", ""}}; }, QString());
        dialog.show();
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
        auto* box = Child<QComboBox>(dialog, c.box);
        box->setFocus();
        box->lineEdit()->clear();
        QTest::keyClicks(box->lineEdit(), c.typed);
        ASSERT_TRUE(QTest::qWaitFor([&] { return box->completer()->popup()->isVisible(); }, 5000));
        auto* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        ASSERT_TRUE(ok->isEnabled());
        // Through the window, as the system delivers a click: a click sent
        // to the button itself would pass by the open list.
        QTest::mouseClick(dialog.windowHandle(), Qt::LeftButton, {}, ok->mapTo(&dialog, ok->rect().center()));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.isVisible(); }, 2000)) << "the click only closed the list";
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(c.box == std::string("baudCombo") ? QString::number(dialog.Settings().BaudRate) : dialog.Settings().Port,
                  c.typed);
    }
}

// Each adapter with what it is, and its stable name after it.
TEST(PortChoices, ShowWhatEachAdapterIsAndItsStableNames)
{
    const QList<TPortFacts> ports = {
        {"ttyUSB1", "/dev/ttyUSB1", "FT232R USB UART", "FTDI", "A50285BI"},
        {"ttyACM0", "/dev/ttyACM0", "Arduino Uno", "Arduino (www.arduino.cc)", "7563331313335"},
        {"ttyS0", "/dev/ttyS0", "", "", ""},
        {"ttyUSB0", "/dev/ttyUSB0", "CP2102 USB to UART Bridge Controller", "Silicon Labs", ""},
    };
    const QMap<QString, QStringList> links = {
        {"/dev/ttyUSB1", {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"}},
        {"/dev/ttyACM0", {"/dev/serial/by-id/usb-Arduino_Uno_7563331313335-if00"}},
        {"/dev/ttyUSB7", {"/dev/serial/by-id/usb-outro-if00"}},  // a port the list does not have
    };
    const QList<TPortChoice> expected = {
        {"ttyACM0", "Arduino Uno · Arduino (www.arduino.cc) · nº de série 7563331313335"},
        {"/dev/serial/by-id/usb-Arduino_Uno_7563331313335-if00",
         "nome estável de ttyACM0 · Arduino Uno · Arduino (www.arduino.cc) · nº de série 7563331313335"},
        {"ttyS0", "/dev/ttyS0"},
        {"ttyUSB0", "CP2102 USB to UART Bridge Controller · Silicon Labs"},
        {"ttyUSB1", "FT232R USB UART · FTDI · nº de série A50285BI"},
        {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
         "nome estável de ttyUSB1 · FT232R USB UART · FTDI · nº de série A50285BI"},
    };
    const QList<TPortChoice> choices = PortChoices(ports, links);
    ASSERT_EQ(choices.size(), expected.size());
    for (int i = 0; i < choices.size(); ++i) {
        EXPECT_EQ(choices[i].Name.toStdString(), expected[i].Name.toStdString()) << i;
        EXPECT_EQ(choices[i].Description.toStdString(), expected[i].Description.toStdString()) << i;
    }
}

TEST(PortChoices, StableNamesAreTheLinksThatLeadSomewhere)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const TPtyPair pty(false);
    const QString device = QString::fromStdString(pty.SlavePath());
    ASSERT_TRUE(QFile::link(device, dir.filePath("usb-FTDI_FT232R-if00-port0")));
    ASSERT_TRUE(QFile::link(device, dir.filePath("usb-outro-nome")));
    ASSERT_TRUE(QFile::link(dir.filePath("nada"), dir.filePath("usb-que-se-foi")));
    const QMap<QString, QStringList> links = LinksByDevice(dir.path());
    EXPECT_EQ(links.keys(), QStringList({device}));
    EXPECT_EQ(links.value(device),
              QStringList({dir.filePath("usb-FTDI_FT232R-if00-port0"), dir.filePath("usb-outro-nome")}));
    EXPECT_TRUE(LinksByDevice(dir.filePath("nao-existe")).isEmpty());
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
