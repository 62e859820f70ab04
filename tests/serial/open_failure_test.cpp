// Why a port does not open, on real files, pseudo-terminals and processes:
// each cause gets its own reason, and the causes the user can act on say
// what to do.
#include "pty_helpers.h"
#include "test_sinks.h"

#include "exception.h"
#include "open_failure.h"
#include "pty_pair.h"
#include "tcomport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <memory>

namespace {

// The message of opening `path`, or "aberta" when it opens.
QString OpenMessage(TComPort& port, const QString& path)
{
    TSerialSettings s;
    s.Port = path;
    port.SetSettings(s);
    try {
        port.SetConnected(true);
        return QStringLiteral("aberta");
    } catch (const Exception& e) {
        EXPECT_FALSE(port.Connected());
        return QString::fromStdString(e.what());
    }
}

QString OpenMessage(const QString& path)
{
    TComPort port;
    return OpenMessage(port, path);
}

void ExpectContainsAll(const QString& text, const QStringList& parts)
{
    for (const QString& part : parts)
        EXPECT_TRUE(text.contains(part)) << "'" << part.toStdString() << "' missing in: " << text.toStdString();
}

struct NotAPortCase {
    const char* name;
    std::function<QString(const QString& dir)> make; // returns the path to open
    QStringList says;
};

TEST(OpenFailure, EachCauseGetsItsOwnReason)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const NotAPortCase cases[] = {
        {"empty name", [](const QString&) { return QString(); }, {"o nome da porta está vazio"}},
        {"blank name", [](const QString&) { return QStringLiteral("   "); }, {"o nome da porta está vazio"}},
        {"regular file",
         [](const QString& d) {
             QFile f(d + "/dados.txt");
             EXPECT_TRUE(f.open(QIODevice::WriteOnly));
             return f.fileName();
         },
         {"não uma porta serial", "um arquivo comum", "/dev/ttyUSB0"}},
        {"directory", [](const QString& d) { return d; }, {"não uma porta serial", "uma pasta"}},
        {"/dev/", [](const QString&) { return QStringLiteral("/dev/"); }, {"não uma porta serial", "uma pasta"}},
        {"/dev/null",
         [](const QString&) { return QStringLiteral("/dev/null"); },
         {"não é um terminal", "não é uma porta serial"}},
        {"FIFO",
         [](const QString& d) {
             const QString path = d + "/fifo";
             EXPECT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
             return path;
         },
         {"não uma porta serial", "FIFO"}},
        {"socket",
         [](const QString& d) {
             const QString path = d + "/sock";
             const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             std::snprintf(address.sun_path, sizeof address.sun_path, "%s", QFile::encodeName(path).constData());
             EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
             ::close(fd);
             return path;
         },
         {"não uma porta serial", "socket"}},
        {"missing",
         [](const QString& d) { return d + "/ttyNada"; },
         {"dispositivo não encontrado", "ttyNada", "Escolha a porta do acelerômetro em Config. Serial."}},
        {"dangling link",
         [](const QString& d) {
             const QString path = d + "/COM10";
             EXPECT_TRUE(QFile::link(d + "/pts-que-se-foi", path));
             return path;
         },
         {"dispositivo não encontrado", "link simbólico", "pts-que-se-foi", "Config. Serial"}},
        {"through a file",
         [](const QString&) { return QStringLiteral("/etc/passwd/ttyS0"); },
         {"dispositivo não encontrado", "não é uma pasta"}},
        {"a name too long", [](const QString& d) { return d + "/" + QString(300, 'a'); }, {"300 bytes", "255"}},
        {"a path too long",
         [](const QString& d) {
             QString path = d;
             while (path.size() < 5000)
                 path += "/" + QString(200, 'b');
             return path;
         },
         {"4095"}},
    };
    for (const NotAPortCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = c.make(dir.path());
        const QString message = OpenMessage(path);
        EXPECT_TRUE(message.startsWith("Não foi possível abrir")) << message.toStdString();
        ExpectContainsAll(message, c.says);
        // The wrong reasons of before.
        EXPECT_FALSE(message.contains("configuração não suportada")) << message.toStdString();
        EXPECT_FALSE(message.contains("acesso negado")) << message.toStdString();
        EXPECT_FALSE(message.contains("/dev/.")) << message.toStdString();
    }
}

// A port that is not there: where to choose another, and which there are.
TEST(OpenFailure, AMissingDeviceSaysWhereToChooseAndWhichPortsThereAre)
{
    struct Case { QStringList ports; QString says; };
    const Case cases[] = {
        {{}, "Nenhuma porta serial foi encontrada nesta máquina"},
        {{"/dev/ttyUSB0"}, "A porta serial presente é /dev/ttyUSB0."},
        {{"/dev/ttyACM0", "/dev/ttyUSB0"}, "As portas seriais presentes são: /dev/ttyACM0, /dev/ttyUSB0."},
    };
    for (const Case& c : cases) {
        const QString advice = MissingDeviceAdvice(c.ports);
        EXPECT_TRUE(advice.startsWith("Escolha a porta do acelerômetro em Config. Serial.")) << advice.toStdString();
        EXPECT_TRUE(advice.contains(c.says)) << advice.toStdString();
    }
    // The start-up port, on a machine without it: the ports that do exist.
    const QString message = OpenMessage(QStringLiteral("/dev/COM10"));
    ExpectContainsAll(message, {"Não foi possível abrir", "dispositivo não encontrado", "Config. Serial"});
    EXPECT_TRUE(message.contains(MissingDeviceAdvice(PresentSerialPorts()))) << message.toStdString();
}

// Paths that Qt alone would get wrong but that lead to a serial device:
// a link whose lock-file name would pass 255 bytes, and a relative path
// with a folder in it, which Qt takes as a name under /dev.
TEST(OpenFailure, LongAndRelativePathsToATerminalOpen)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TPtyPair pty;
    const QString target = QString::fromStdString(pty.SlavePath());

    QString deep = dir.path();
    while (deep.size() < 300)
        deep += "/" + QString(60, 'p');
    ASSERT_TRUE(QDir().mkpath(deep));
    const QString longLink = deep + "/acelerometro";
    ASSERT_TRUE(QFile::link(target, longLink));
    ASSERT_TRUE(QFile::link(target, dir.path() + "/tty-rel"));

    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QFileInfo(dir.path()).path()));
    const QString relative = QFileInfo(dir.path()).fileName() + "/tty-rel";
    for (const QString& path : {longLink, relative}) {
        SCOPED_TRACE(path.toStdString());
        TComPort port;
        TReceiveState state{};
        TCollectingSink sink;
        port.OnRxChar = [&](QObject*, int count) { HandleRxChar(state, count, port, sink); };
        EXPECT_EQ(OpenMessage(port, path), "aberta");
        WriteAll(pty.Master(), ValidFrames({{axZ, 1234}}));
        EXPECT_TRUE(QTest::qWaitFor([&] { return sink.Points.size() == 1; }));
    }
    QDir::setCurrent(before);
}

TEST(OpenFailure, APortInUseSaysSoAndByWhom)
{
    TPtyPair pty;
    const QString path = QString::fromStdString(pty.SlavePath());

    // Another Qt program (here another port object) holds Qt's lock file.
    {
        TComPort first;
        ASSERT_EQ(OpenMessage(first, path), "aberta");
        const QString message = OpenMessage(path);
        ExpectContainsAll(message, {"em uso por outro programa", QString::number(QCoreApplication::applicationPid()),
                                    "Feche o outro programa"});
    }

    // Another tool holds an flock on the device, as picocom does.
    const int other = ::open(pty.SlavePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    ExpectContainsAll(OpenMessage(path), {"em uso por outro programa", "flock"});
    ::close(other);

    // And the port's own flock keeps such a tool out while it is open.
    TComPort port;
    ASSERT_EQ(OpenMessage(port, path), "aberta");
    const int tool = ::open(pty.SlavePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(tool, 0);
    EXPECT_NE(::flock(tool, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(errno, EWOULDBLOCK);
    port.Close();
    EXPECT_EQ(::flock(tool, LOCK_EX | LOCK_NB), 0);
    ::close(tool);
}

// Root opens any device and ignores exclusive mode, so what a user sees is
// checked in a process that runs as "nobody".
class AsAnotherUser : public ::testing::Test {
protected:
    static constexpr uid_t Nobody = 65534;

    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root, to run the probe as another user";
    }

    QString Probe(const QString& path)
    {
        QProcess probe;
        probe.setChildProcessModifier([] {
            // In the child between fork and exec: only plain system calls.
            if (::setgroups(0, nullptr) != 0 || ::setgid(Nobody) != 0 || ::setuid(Nobody) != 0)
                ::_exit(3);
        });
        probe.start(QStringLiteral(PORT_OPEN_PROBE), {path});
        EXPECT_TRUE(probe.waitForFinished(30000));
        EXPECT_EQ(probe.exitCode(), 0) << probe.readAllStandardError().toStdString();
        return QString::fromUtf8(probe.readAllStandardOutput()).trimmed();
    }
};

struct PermissionCase {
    const char* name;
    const char* group;
    mode_t mode;
    QStringList says;
};

TEST_F(AsAnotherUser, NoPermissionNamesTheGroupOrTheUdevRule)
{
    const group* dialout = ::getgrnam("dialout");
    if (!dialout)
        GTEST_SKIP() << "no dialout group on this machine";
    const PermissionCase cases[] = {
        {"group may read", "dialout", 0660, {"sem permissão", "grupo dialout", "usermod -aG dialout", "regra udev"}},
        {"owner only", "dialout", 0600, {"sem permissão", "0600", "regra udev", "GROUP=\"dialout\""}},
    };
    for (const PermissionCase& c : cases) {
        SCOPED_TRACE(c.name);
        TPtyPair pty;
        ASSERT_EQ(::chown(pty.SlavePath().c_str(), 0, ::getgrnam(c.group)->gr_gid), 0);
        ASSERT_EQ(::chmod(pty.SlavePath().c_str(), c.mode), 0);
        const QString message = Probe(QString::fromStdString(pty.SlavePath()));
        ExpectContainsAll(message, c.says);
    }
}

TEST_F(AsAnotherUser, ExclusiveModeOfAnotherProgramIsAPortInUse)
{
    TPtyPair pty;
    ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0666), 0);
    ASSERT_EQ(::ioctl(pty.Slave(), TIOCEXCL), 0);
    ExpectContainsAll(Probe(QString::fromStdString(pty.SlavePath())),
                      {"em uso", "acesso exclusivo", "fuser -v"});
    ASSERT_EQ(::ioctl(pty.Slave(), TIOCNXCL), 0);
    EXPECT_EQ(Probe(QString::fromStdString(pty.SlavePath())), "aberta");
}

TEST(PermissionAdvice, FitsWhatTheUserCanDo)
{
    struct Case {
        const char* name;
        QString group;
        bool groupMayRead;
        bool inGroupSinceLogin;
        QStringList says;
    };
    const Case cases[] = {
        {"a group that may read", "dialout", true, false, {"usermod -aG dialout", "regra udev"}},
        {"another such group", "uucp", true, false, {"usermod -aG uucp"}},
        {"a group that may not read", "tty", false, false, {"regra udev", "usermod -aG dialout"}},
        {"root's group", "root", true, false, {"regra udev", "usermod -aG dialout"}},
        {"member since the session began", "dialout", true, true, {"já está no grupo dialout", "saia e entre"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectContainsAll(PermissionAdvice(c.group, c.groupMayRead, c.inGroupSinceLogin), c.says);
    }
}

} // namespace
