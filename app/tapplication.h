#pragma once
// The application object: a thin layer over QApplication with the few
// operations the program's entry uses, and the one place where errors that
// nothing else handled are shown to the user.

#include <QApplication>
#include <QString>

#include <exception>
#include <functional>
#include <memory>

class QWidget;

class TApplication {
public:
    TApplication(int& argc, char** argv);
    ~TApplication();

    void Initialize();
    void SetMainFormOnTaskBar(bool value);
    bool MainFormOnTaskBar() const { return m_mainFormOnTaskBar; }

    // Creates the main window, stores it in `reference` and shows it.
    // The application owns it from then on.
    template <class TForm>
    void CreateForm(TForm*& reference)
    {
        auto form = std::make_unique<TForm>();
        reference = form.get();
        AdoptMainForm(std::move(form));
    }

    int Run();

    // Shows an error in a message box (or hands it to the reporter set for
    // tests). Any std::exception's text is shown as it stands. The box does
    // not wait for its OK: whatever reported the error goes on (capture
    // starts, the port is read) and the box shows once the event loop runs.
    void ShowException(const std::exception& error);
    void ShowException(const QString& message);
    // Shows the exception being handled and waits for the box's OK (the
    // program is about to end); call only inside a catch block
    // (CurrentExceptionText says what is shown).
    void ShowCurrentException();

    // Replaces the message box, e.g. to collect messages in tests.
    using Reporter = std::function<void(const QString& message)>;
    void SetReporter(Reporter reporter);

private:
    void AdoptMainForm(std::unique_ptr<QWidget> form);

    QApplication m_app;
    std::unique_ptr<QWidget> m_mainForm;
    bool m_mainFormOnTaskBar = false;
    Reporter m_reporter;
};

// The one application object, set while it exists.
extern TApplication* Application;

// The program's entry around its start-up and event loop: whatever escapes
// them is shown (a thrown value that is not an exception with an empty
// message) and the program still ends with 0.
int RunProgram(TApplication& application, const std::function<void()>& steps);
