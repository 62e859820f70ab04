#include "tapplication.h"

#include "exception.h"

#include <QIcon>
#include <QMessageBox>
#include <QWidget>

TApplication* Application = nullptr;

TApplication::TApplication(int& argc, char** argv) : app_(argc, argv)
{
    Application = this;
}

TApplication::~TApplication()
{
    mainForm_.reset(); // the window and its components go before the QApplication
    if (Application == this)
        Application = nullptr;
}

void TApplication::Initialize()
{
    QApplication::setApplicationName(QStringLiteral("acelerometro"));
    QApplication::setApplicationDisplayName(QStringLiteral("Acelerômetro"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.0.0"));
    QApplication::setDesktopFileName(QStringLiteral("acelerometro"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/acelerometro.svg")));
}

void TApplication::SetMainFormOnTaskBar(bool value)
{
    // On Linux the main window is a top-level window with its own taskbar
    // entry already; nothing else to do.
    mainFormOnTaskBar_ = value;
}

void TApplication::AdoptMainForm(std::unique_ptr<QWidget> form)
{
    mainForm_ = std::move(form);
    mainForm_->show();
}

int TApplication::Run()
{
    return QApplication::exec();
}

void TApplication::ShowException(const std::exception& error)
{
    ShowException(QString::fromUtf8(error.what()));
}

void TApplication::ShowException(const QString& message)
{
    if (reporter_) {
        reporter_(message);
        return;
    }
    QMessageBox::critical(QApplication::activeWindow() ? QApplication::activeWindow() : mainForm_.get(),
                          QStringLiteral("Acelerômetro"), message);
}

void TApplication::ShowCurrentException()
{
    try {
        throw;
    } catch (const std::exception& e) {
        ShowException(e);
    } catch (...) {
        ShowException(Exception(""));
    }
}

void TApplication::SetReporter(Reporter reporter)
{
    reporter_ = std::move(reporter);
}

int RunProgram(TApplication& application, const std::function<void()>& steps)
{
    try {
        steps();
    } catch (...) {
        application.ShowCurrentException();
    }
    return 0;
}
