// TComPort on real pseudo-terminals: what is written to the master is what
// a device would send; closing the master is a device pulled out.
#include "pty_helpers.h"
#include "test_sinks.h"

#include "exception.h"
#include "pty_pair.h"
#include "stream_builder.h"
#include "tcomport.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <random>
#include <termios.h>

namespace {

// Collects Qt's warnings while it lives.
class TWarningCollector {
public:
    TWarningCollector() : m_previous(qInstallMessageHandler(&Collect)) { s_current = this; }
    ~TWarningCollector()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    QStringList Texts;

private:
    static void Collect(QtMsgType type, const QMessageLogContext&, const QString& text)
    {
        if (type == QtWarningMsg && s_current)
            s_current->Texts << text;
    }
    static inline TWarningCollector* s_current = nullptr;
    QtMessageHandler m_previous;
};

// A port on a fresh pty, feeding its own receive state and collecting sink.
class ComPortOnPty : public ::testing::Test {
protected:
    void SetUp() override
    {
        pty = std::make_unique<TPtyPair>();
        TSerialSettings s;
        s.Port = QString::fromStdString(pty->SlavePath());
        port.SetSettings(s);
        port.OnRxChar = [this](QObject* sender, int count) {
            EXPECT_EQ(sender, &port);
            inHandler = true;
            struct Leave {
                bool& flag;
                ~Leave() { flag = false; }
            } leave{inHandler};
            HandleRxChar(state, count, port, sink);
        };
        connect();
    }

    void connect()
    {
        QObject::connect(&port, &TComPort::connectedChanged, &port, [this](bool open) {
            (open ? opened : closed)++;
        });
        QObject::connect(&port, &TComPort::failure, &port, [this](const QString& message) {
            failures << message;
            failureInsideHandler = failureInsideHandler || inHandler;
        });
    }

    // Termios of the line as the port left it.
    termios LineSettings() const
    {
        termios t{};
        EXPECT_EQ(tcgetattr(pty->Slave(), &t), 0);
        return t;
    }

    std::unique_ptr<TPtyPair> pty;
    TComPort port;
    TReceiveState state{};
    TCollectingSink sink;
    bool inHandler = false;
    bool failureInsideHandler = false;
    int opened = 0;
    int closed = 0;
    QStringList failures;
};

TEST_F(ComPortOnPty, OpenAndCloseAreIdempotent)
{
    EXPECT_FALSE(port.Connected());
    port.Close(); // closing a closed port: nothing
    EXPECT_EQ(closed, 0);

    port.SetConnected(true);
    EXPECT_TRUE(port.Connected());
    port.SetConnected(true); // second start changes nothing
    EXPECT_EQ(opened, 1);

    port.Close();
    EXPECT_FALSE(port.Connected());
    port.Close();
    port.SetConnected(false);
    EXPECT_EQ(closed, 1);

    port.SetConnected(true); // and it opens again
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(opened, 2);
}

TEST_F(ComPortOnPty, StartUpSettingsAreTheDevicesLine)
{
    const TSerialSettings defaults;
    EXPECT_EQ(defaults.Port, "COM10");
    EXPECT_EQ(defaults.BaudRate, 9600);
    EXPECT_EQ(defaults.DataBits, QSerialPort::Data8);
    EXPECT_EQ(defaults.Parity, QSerialPort::NoParity);
    EXPECT_EQ(defaults.StopBits, QSerialPort::OneStop);
    EXPECT_EQ(defaults.FlowControl, QSerialPort::NoFlowControl);
    EXPECT_FALSE(defaults.Dtr);
    EXPECT_FALSE(defaults.Rts);

    port.SetConnected(true);
    const termios t = LineSettings();
    EXPECT_EQ(cfgetispeed(&t), speed_t(B9600));
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), tcflag_t(0));
}

// Line settings that a pty keeps. (The Linux pty driver forces 8 data bits
// and no parity, so those are left to the dialog's tests.)
struct LineCase {
    qint32 baud;
    QSerialPort::StopBits stopBits;
    QSerialPort::FlowControl flow;
    speed_t speed;
    bool twoStop;
};

const LineCase lineCases[] = {
    {115200, QSerialPort::TwoStop, QSerialPort::NoFlowControl, B115200, true},
    {1200, QSerialPort::OneStop, QSerialPort::HardwareControl, B1200, false},
    {921600, QSerialPort::OneStop, QSerialPort::SoftwareControl, B921600, false},
};

void ExpectLine(const termios& t, const LineCase& c)
{
    EXPECT_EQ(cfgetispeed(&t), c.speed);
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.twoStop);
    EXPECT_EQ((t.c_cflag & CRTSCTS) != 0, c.flow == QSerialPort::HardwareControl);
    EXPECT_EQ((t.c_iflag & IXON) != 0, c.flow == QSerialPort::SoftwareControl);
}

TSerialSettings WithLine(TSerialSettings s, const LineCase& c)
{
    s.BaudRate = c.baud;
    s.StopBits = c.stopBits;
    s.FlowControl = c.flow;
    return s;
}

TEST_F(ComPortOnPty, SettingsChosenWhileClosedAreInForceAtTheNextOpen)
{
    for (const LineCase& c : lineCases) {
        SCOPED_TRACE(c.baud);
        port.SetSettings(WithLine(port.Settings(), c));
        EXPECT_FALSE(port.Connected()); // choosing settings opens nothing
        port.SetConnected(true);
        ExpectLine(LineSettings(), c);
        port.Close();
    }
}

TEST_F(ComPortOnPty, SettingsChosenWhileOpenTakeEffectAtOnce)
{
    port.SetConnected(true);
    for (const LineCase& c : lineCases) {
        SCOPED_TRACE(c.baud);
        port.SetSettings(WithLine(port.Settings(), c));
        EXPECT_TRUE(port.Connected());
        ExpectLine(LineSettings(), c);
    }
    EXPECT_EQ(opened, 1); // same device: not reopened
}

// The line as something else left it before the program opened it: the
// kernel's defaults, another program, a tool that put it at speed 0.
struct FoundLine {
    const char* name;
    speed_t speed;
    bool hupcl;
};

const FoundLine foundLines[] = {
    {"kernel defaults", B9600, true},
    {"left at speed 0 without hang-up on close", B0, false},
    {"another program's speed without hang-up on close", B38400, false},
};

TEST_F(ComPortOnPty, EachOpenAppliesTheSettingsAndCloseLeavesTheLineAsFound)
{
    // Nothing is parked on the line for the next open: a speed of 0 would
    // only move the raise of DTR and RTS from the open to the moment the
    // speed is set, and would hand the next program a hung-up line.
    const LineCase& chosen = lineCases[0];
    port.SetSettings(WithLine(port.Settings(), chosen));
    for (const FoundLine& found : foundLines) {
        SCOPED_TRACE(found.name);
        termios t = LineSettings();
        cfsetispeed(&t, found.speed);
        cfsetospeed(&t, found.speed);
        t.c_cflag = found.hupcl ? (t.c_cflag | HUPCL) : (t.c_cflag & ~tcflag_t(HUPCL));
        ASSERT_EQ(tcsetattr(pty->Slave(), TCSANOW, &t), 0);
        for (int round = 1; round <= 2; ++round) {
            SCOPED_TRACE(round);
            port.SetConnected(true);
            ExpectLine(LineSettings(), chosen);
            port.Close();
            const termios left = LineSettings();
            EXPECT_EQ(cfgetospeed(&left), found.speed);
            EXPECT_EQ(cfgetispeed(&left), found.speed);
            EXPECT_EQ((left.c_cflag & HUPCL) != 0, found.hupcl);
        }
    }
}

TEST_F(ComPortOnPty, ChoosingAnotherDeviceWhileOpenReopensThere)
{
    port.SetConnected(true);
    TPtyPair other;
    TSerialSettings s = port.Settings();
    s.Port = QString::fromStdString(other.SlavePath());
    port.SetSettings(s);
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(opened, 2);
    WriteAll(other.Master(), ValidFrames({{axY, 1000}}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return sink.Points.size() == 1; }));
    EXPECT_EQ(sink.Points[0], TPoint(axY, 1000.0));
}

TEST_F(ComPortOnPty, WrittenBytesBecomeTheExpectedPoints)
{
    TStreamOptions o;
    o.FailureRate = 0.1;
    o.JunkRate = 0.1;
    o.Seed = 7;
    const TBuiltStream s = BuildStream(1500, o);
    port.SetConnected(true);

    // In pieces of random size, as a line delivers them.
    std::mt19937 rng(3);
    std::uniform_int_distribution<size_t> piece(1, 64);
    for (size_t pos = 0; pos < s.Bytes.size();) {
        const size_t n = std::min(piece(rng), s.Bytes.size() - pos);
        WriteAll(pty->Master(), std::vector<uint8_t>(s.Bytes.begin() + long(pos), s.Bytes.begin() + long(pos + n)));
        pos += n;
        if (pos % 512 < n)
            QCoreApplication::processEvents();
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return sink.Points.size() >= s.Expected.Size(); }))
        << sink.Points.size() << " of " << s.Expected.Size();
    ASSERT_EQ(sink.Points.size(), s.Expected.Size());
    for (size_t i = 0; i < sink.Points.size(); ++i) {
        ASSERT_EQ(sink.Points[i].first, s.Expected.InOrder[i].Axis) << i;
        ASSERT_EQ(sink.Points[i].second, s.Expected.InOrder[i].Value) << i;
    }
    EXPECT_TRUE(failures.isEmpty());
}

TEST_F(ComPortOnPty, NotificationsCarryEveryWaitingByte)
{
    // Without a handler that reads, bytes stay waiting and each notification
    // counts all of them.
    std::vector<int> counts;
    port.OnRxChar = [&](QObject*, int count) { counts.push_back(count); };
    port.SetConnected(true);
    WriteAll(pty->Master(), ValidFrames({{axX, 1}}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !counts.empty(); }));
    WriteAll(pty->Master(), {0x41, 0x42});
    ASSERT_TRUE(QTest::qWaitFor([&] { return counts.size() >= 2; }));
    EXPECT_EQ(counts.front(), 3);
    EXPECT_EQ(counts.back(), 5);
    uint8_t buf[8];
    EXPECT_EQ(port.Read(buf, 8), 5);
    port.Close();
    EXPECT_EQ(port.Read(buf, 8), 0); // closed: nothing to read
}

TEST_F(ComPortOnPty, HangUpClosesOnceReportsOnceKeepsPointsAndReopens)
{
    port.SetConnected(true);
    WriteAll(pty->Master(), ValidFrames({{axX, 100}, {axY, 200}, {axZ, 300}}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return sink.Points.size() == 3; }));

    pty->CloseMaster(); // the cable is pulled
    ASSERT_TRUE(QTest::qWaitFor([&] { return !failures.isEmpty(); }));
    QTest::qWait(200); // room for a flood of errors, were it not stopped
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(closed, 1);
    ASSERT_EQ(failures.size(), 1);
    // Plainly: which device went away, that the port closed, that the
    // points stay, and what to do.
    EXPECT_TRUE(failures[0].startsWith(QString::fromStdString("O dispositivo em " + pty->SlavePath()
                                                              + " foi desconectado, e a porta foi fechada.")))
        << failures[0].toStdString();
    for (const char* part : {"continuam no gráfico", "clique em Inicia", "\"Reconectar automaticamente\""})
        EXPECT_TRUE(failures[0].contains(QString::fromUtf8(part))) << part << " missing in " << failures[0].toStdString();
    EXPECT_FALSE(failureInsideHandler);
    EXPECT_EQ(sink.Points.size(), 3u);
    EXPECT_EQ(state.AxisLastValue[axZ], 300); // the receive state is kept

    // The device comes back (here: on a new pty) and the port opens again.
    pty = std::make_unique<TPtyPair>();
    TSerialSettings s = port.Settings();
    s.Port = QString::fromStdString(pty->SlavePath());
    port.SetSettings(s);
    port.SetConnected(true);
    EXPECT_TRUE(port.Connected());
    WriteAll(pty->Master(), ValidFrames({{axX, 400}}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return sink.Points.size() == 4; }));
    EXPECT_EQ(sink.Points.back(), TPoint(axX, 400.0));
    EXPECT_EQ(failures.size(), 1);
}

TEST_F(ComPortOnPty, RefusedModemLinesAreNoError)
{
    // A pty has no DTR/RTS; whatever the settings ask of the lines, the port
    // opens, stays open and receives, and says nothing about the lines.
    TWarningCollector warnings;
    const std::pair<bool, bool> lines[] = {{false, false}, {true, true}, {true, false}};
    int value = 1;
    for (const auto& [dtr, rts] : lines) {
        SCOPED_TRACE(testing::Message() << "DTR " << dtr << " RTS " << rts);
        TSerialSettings s = port.Settings();
        s.Dtr = dtr;
        s.Rts = rts;
        port.SetSettings(s);
        ASSERT_NO_THROW(port.SetConnected(true));
        WriteAll(pty->Master(), ValidFrames({{axX, value}}));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !sink.Points.empty() && sink.Points.back().second == value; }));
        EXPECT_TRUE(port.Connected());
        port.Close();
        ++value;
    }
    EXPECT_TRUE(failures.isEmpty());
    EXPECT_TRUE(warnings.Texts.filter("DTR").isEmpty()) << warnings.Texts.join("; ").toStdString();
}

struct ThrowCase {
    const char* name;
    std::function<void()> raise;
    QString message;
};

TEST_F(ComPortOnPty, ExceptionFromTheSinkClosesThePortAndIsReportedAfterwards)
{
    const ThrowCase cases[] = {
        {"Exception", [] { throw Exception("Falha ao desenhar o gráfico"); }, "Falha ao desenhar o gráfico"},
        {"not std::exception", [] { throw 42; }, ""},
    };
    for (const ThrowCase& c : cases) {
        SCOPED_TRACE(c.name);
        failures.clear();
        closed = 0;
        sink.Points.clear();
        sink.BeforeAppend = [&](size_t n) {
            if (n == 2)
                c.raise();
        };
        port.SetConnected(true);
        WriteAll(pty->Master(), ValidFrames({{axX, 10}, {axY, 20}, {axZ, 30}, {axX, 40}}));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !failures.isEmpty(); }));
        QTest::qWait(50);
        EXPECT_FALSE(port.Connected());
        EXPECT_EQ(closed, 1);
        ASSERT_EQ(failures.size(), 1);
        EXPECT_EQ(failures[0], c.message);
        EXPECT_FALSE(failureInsideHandler);
        EXPECT_EQ(sink.Points.size(), 2u); // points before the failure are kept

        // Later events are handled as usual.
        sink.BeforeAppend = nullptr;
        port.SetConnected(true);
        WriteAll(pty->Master(), ValidFrames({{axY, 50}}));
        ASSERT_TRUE(QTest::qWaitFor([&] { return sink.Points.size() == 3; }));
        EXPECT_EQ(sink.Points.back(), TPoint(axY, 50.0));
        EXPECT_EQ(failures.size(), 1);
        port.Close();
    }
}

// ---- opening what is not there

TEST(ComPortOpen, MissingDeviceThrowsNamingDeviceAndReason)
{
    struct Case {
        QString port;
        QString path;
    };
    const Case cases[] = {
        {"/dev/ACCEL_NO_SUCH_PORT", "/dev/ACCEL_NO_SUCH_PORT"},
        {"/tmp/accel-no-such-dir/ttyX", "/tmp/accel-no-such-dir/ttyX"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port.toStdString());
        TComPort port;
        QSignalSpy changed(&port, &TComPort::connectedChanged);
        TSerialSettings s;
        s.Port = c.port;
        port.SetSettings(s);
        try {
            port.SetConnected(true);
            ADD_FAILURE() << "no exception";
        } catch (const Exception& e) {
            const QString text = QString::fromStdString(e.what());
            EXPECT_TRUE(text.contains(c.path)) << e.what();
            EXPECT_TRUE(text.contains("não encontrado")) << e.what();
        }
        EXPECT_FALSE(port.Connected());
        EXPECT_EQ(changed.count(), 0);
    }
}

} // namespace
