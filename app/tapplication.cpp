#include "tapplication.h"

#include "exception.h"

#include <QIcon>
#include <QMessageBox>
#include <QWidget>

TApplication* Application = nullptr;

TApplication::TApplication(int& argc, char** argv) : m_app(argc, argv)
{
    Application = this;
}

TApplication::~TApplication()
{
    m_mainForm.reset(); // the window and its components go before the QApplication
    if (Application == this)
        Application = nullptr;
}

void TApplication::Initialize()
{
    // No display name: the window manager would add it to the window's
    // caption, which is to read "Form2" alone.
    QApplication::setApplicationName(QStringLiteral("acelerometro"));
    QApplication::setApplicationVersion(QStringLiteral(ACELEROMETRO_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("acelerometro"));
    // The icon lives in this static library's resources, which the linker
    // leaves out unless something refers to them.
    Q_INIT_RESOURCE(resources);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/acelerometro.svg")));
}

void TApplication::SetMainFormOnTaskBar(bool value)
{
    // On Linux the main window is a top-level window with its own taskbar
    // entry already; nothing else to do.
    m_mainFormOnTaskBar = value;
}

void TApplication::AdoptMainForm(std::unique_ptr<QWidget> form)
{
    m_mainForm = std::move(form);
    m_mainForm->show();
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
    if (m_reporter) {
        m_reporter(message);
        return;
    }
    QWidget* parent = QApplication::activeWindow() ? QApplication::activeWindow() : m_mainForm.get();
    auto* box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Acelerômetro"), message, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

void TApplication::ShowCurrentException()
{
    const QString message = QString::fromStdString(CurrentExceptionText());
    if (m_reporter) {
        m_reporter(message);
        return;
    }
    QMessageBox::critical(QApplication::activeWindow() ? QApplication::activeWindow() : m_mainForm.get(),
                          QStringLiteral("Acelerômetro"), message);
}

void TApplication::SetReporter(Reporter reporter)
{
    m_reporter = std::move(reporter);
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
