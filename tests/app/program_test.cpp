// The program binary as a user starts it, in an environment of the test's
// own making: what it says and how it ends when there is no display.
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

// Long enough for any machine; only a program that hangs gets near it.
constexpr int HangGuardMs = 60000;

QProcessEnvironment Environment(const std::vector<std::pair<QString, QString>>& variables)
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    environment.insert(QStringLiteral("HOME"), qEnvironmentVariable("HOME"));
    for (const auto& [name, value] : variables)
        environment.insert(name, value);
    return environment;
}

void Start(QProcess& program, const QProcessEnvironment& environment)
{
    program.setProcessEnvironment(environment);
    program.setProgram(QStringLiteral(ACELEROMETRO_BINARY));
    program.start();
    ASSERT_TRUE(program.waitForStarted(HangGuardMs)) << program.errorString().toStdString();
}

struct NoDisplayCase {
    const char* name;
    std::vector<std::pair<QString, QString>> variables;
    QString named; // what the message names as the display it could not use
};

TEST(ProgramWithoutDisplay, SaysSoOnStandardErrorAndEndsWithZero)
{
    const NoDisplayCase cases[] = {
        {"nothing set", {}, QStringLiteral("DISPLAY")},
        {"an X display that does not exist", {{"DISPLAY", ":4242"}}, QStringLiteral(":4242")},
        {"a Wayland display only", {{"WAYLAND_DISPLAY", "wayland-4242"}}, QStringLiteral("wayland-4242")},
        {"an empty platform choice", {{"QT_QPA_PLATFORM", ""}, {"DISPLAY", ":4243"}}, QStringLiteral(":4243")},
    };
    for (const NoDisplayCase& c : cases) {
        SCOPED_TRACE(c.name);
        QProcess program;
        Start(program, Environment(c.variables));
        ASSERT_TRUE(program.waitForFinished(HangGuardMs));
        const QString err = QString::fromUtf8(program.readAllStandardError());
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << err.toStdString();
        EXPECT_EQ(program.exitCode(), 0) << err.toStdString();
        EXPECT_TRUE(err.contains(QStringLiteral("nenhuma tela gráfica"))) << err.toStdString();
        EXPECT_TRUE(err.contains(c.named)) << err.toStdString();
        EXPECT_TRUE(err.contains(QStringLiteral("sessão gráfica"))) << err.toStdString();
        EXPECT_TRUE(err.contains(QStringLiteral("xvfb-run"))) << err.toStdString();
        EXPECT_TRUE(program.readAllStandardOutput().isEmpty());
    }
}

TEST(ProgramWithoutDisplay, OffscreenPlatformStillRunsTheWindow)
{
    QProcess program;
    Start(program, Environment({{"QT_QPA_PLATFORM", "offscreen"}}));
    // Running its event loop: it does not end by itself.
    EXPECT_FALSE(program.waitForFinished(1500));
    EXPECT_EQ(program.state(), QProcess::Running);
    program.kill();
    program.waitForFinished(HangGuardMs);
    const QString err = QString::fromUtf8(program.readAllStandardError());
    EXPECT_FALSE(err.contains(QStringLiteral("nenhuma tela gráfica"))) << err.toStdString();
}

} // namespace
