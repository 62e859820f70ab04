// Recordings opened in viewer windows, on the real main window: through
// "Abrir gravação…" (with the files given in place of the dialog), --open
// and files dropped on a window; what the viewer shows of every point, of
// a file read only in part and of a file that is not a recording; capture
// going on meanwhile; and the exports for spreadsheets through the data
// action.
#include "app_test_support.h"
#include "command_line.h"
#include "csv_rows.h"
#include "data_actions.h"
#include "export_rows.h"
#include "file_writer.h"
#include "recording_viewers.h"
#include "same_lines.h"
#include "scratch_dir.h"
#include "session.h"
#include "sheet_rows.h"
#include "tchart.h"
#include "tcomport.h"
#include "text_buffer.h"
#include "tform2.h"
#include "calibration_actions.h"
#include "viewer_window.h"

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// A session as capture fills it: reads of one to eight frames a few
// milliseconds apart, X, Y, Z in turn, now and then a held value.
void FillSession(TSession& session, std::uint64_t frames, unsigned seed = 1)
{
    std::mt19937 random(seed);
    std::int64_t timeNs = 1'000'000'000;
    session.MarkStart(timeNs);
    int axis = 0;
    for (std::uint64_t n = 0; n < frames;) {
        timeNs += 3'125'000 + std::int64_t(random() % 2'000'000);
        session.BeginRead(timeNs);
        for (std::uint64_t k = 1 + random() % 8; k > 0 && n < frames; --k, ++n) {
            session.AppendReading(TAxis(axis), double(2048 + int(random() % 1024) - 512), random() % 50 != 0);
            axis = axis == 2 ? 0 : axis + 1;
        }
    }
}

void WriteRecording(const TSession& session, const std::string& path)
{
    TFileWriter out(path, TFileWriter::TMode::Direct);
    out.Write(CsvHeader);
    WriteSessionRows(session, 0, session.FrameCount(), out);
    out.Close();
}

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// The rows of a session's frames [from, to), as a recording holds them.
std::string Rows(const TSession& session, std::uint64_t from, std::uint64_t to)
{
    std::string text(CsvHeader);
    char row[MaxCsvRowBytes];
    for (std::uint64_t n = from; n < to; ++n)
        text.append(row, FormatCsvRow(row, session.Record(n)));
    return text;
}

QAction* Named(const QList<QAction*>& actions, const char* name)
{
    for (QAction* action : actions)
        if (action->objectName() == QLatin1String(name))
            return action;
    ADD_FAILURE() << "no action " << name;
    return nullptr;
}

// The entries of the chart's menu, without their keys.
QStringList MenuTexts(TChart& chart)
{
    std::unique_ptr<QMenu> menu(chart.CreateContextMenu());
    QStringList texts;
    for (QAction* action : menu->actions())
        if (!action->isSeparator())
            texts << action->text().section(QLatin1Char('\t'), 0, 0);
    return texts;
}

class ViewerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_reported.clear();
        form = std::make_unique<TForm2>();
        form->SetDataDialogs({[this](QWidget*, TFileKind) { return nextFile; },
                              [](QWidget*, QSize) { return QSize(); },
                              [this](QWidget*) { return nextExport; },
                              [this](QWidget*) {
                                  ++openAsked;
                                  return toOpen;
                              }});
        form->show();
    }
    void TearDown() override
    {
        writer.Stop();
        form.reset();
    }

    QList<TViewerWindow*> Viewers() const { return form->Viewers().Viewers(); }
    // Opens paths through "Abrir gravação…" of the main window's menu.
    void OpenFromMenu(const QStringList& paths)
    {
        toOpen = paths;
        form->OpenRecordingAction()->trigger();
    }
    // Waits until the viewer has read its file; false after timeoutMs.
    static bool WaitLoaded(TViewerWindow* viewer, int timeoutMs = 30000)
    {
        return QTest::qWaitFor([&] { return !viewer->Loading(); }, timeoutMs);
    }
    // The viewer's points are the session's, every one, as the file has them.
    static void ExpectSamePoints(const TViewerWindow& viewer, const TSession& session)
    {
        TFastLineSeries* const series[] = {viewer.Series1, viewer.Series2, viewer.Series3};
        for (int a = 0; a < AxisCount; ++a) {
            ASSERT_EQ(series[a]->Count(), session.Count(TAxis(a))) << a;
            for (qint64 i = 0; i < series[a]->Count(); ++i)
                ASSERT_EQ(series[a]->YValue(i), double(session.Values(TAxis(a)).Value(i))) << a << " " << i;
        }
        EXPECT_TRUE(SameLines(Rows(viewer.Session(), 0, viewer.Session().FrameCount()),
                              Rows(session, 0, session.FrameCount())));
    }

    std::unique_ptr<TForm2> form;
    std::unique_ptr<TPtyPair> pty;
    TPacedWriter writer;
    TScratchDir dir;
    QString nextFile;
    TExportChoice nextExport;
    QStringList toOpen;
    int openAsked = 0;
};

TEST_F(ViewerTest, OpensFromTheMenuWithEveryPointAndTheFileInItsTitle)
{
    TSession recorded;
    FillSession(recorded, 30000);
    const std::string path = dir.File("dados.csv");
    WriteRecording(recorded, path);

    EXPECT_TRUE(MenuTexts(*form->Chart1).contains("Abrir gravação…"));
    OpenFromMenu({QString::fromStdString(path)});
    EXPECT_EQ(openAsked, 1);
    ASSERT_EQ(Viewers().size(), 1);
    TViewerWindow* viewer = Viewers().first();
    EXPECT_TRUE(viewer->isVisible());
    ASSERT_TRUE(WaitLoaded(viewer));

    ExpectSamePoints(*viewer, recorded);
    EXPECT_EQ(viewer->windowTitle(), "dados.csv — Acelerômetro");
    EXPECT_TRUE(viewer->StatusLine->text().contains("30.000 pontos de dados.csv")) << viewer->StatusLine->text().toStdString();
    EXPECT_FALSE(viewer->LoadProgress->isVisible());
    EXPECT_FALSE(viewer->CancelButton->isVisible());
    EXPECT_EQ(viewer->Result().Status, TLoadStatus::Complete);
    // The same chart, drawn: the three lines are there.
    const QImage picture = viewer->Chart1->Picture();
    for (TFastLineSeries* series : {viewer->Series1, viewer->Series2, viewer->Series3}) {
        int pixels = 0;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                pixels += picture.pixelColor(x, y) == series->Color() ? 1 : 0;
        EXPECT_GT(pixels, 100) << series->Title().toStdString();
    }
    // Its menu: the view, export and picture, opening another; no recording.
    const QStringList menu = MenuTexts(*viewer->Chart1);
    for (const char* text : {"Mostrar tudo", "Tela cheia", "Exportar dados…", "Salvar imagem…", "Abrir gravação…", "Análise…",
                             "Calibração…", "Valores em g", "Abrir calibração…", "Salvar calibração…"})
        EXPECT_TRUE(menu.contains(QString::fromUtf8(text))) << text;
    EXPECT_FALSE(menu.contains("Gravar…"));
    EXPECT_FALSE(menu.contains("Parar gravação"));
    // Its calibration is its own: the main window stays in counts.
    viewer->Calibration().Apply({{{2048, 400}, {2048, 400}, {2048, 400}}});
    EXPECT_EQ(viewer->Chart1->ValueScale().Unit, QStringLiteral("g"));
    EXPECT_EQ(form->Chart1->ValueScale().Unit, QString());

    // The main window's session is not touched.
    EXPECT_EQ(form->Capture().Session().FrameCount(), 0u);
    EXPECT_TRUE(g_reported.isEmpty()) << g_reported.join("; ").toStdString();

    // A dialog given up opens nothing.
    OpenFromMenu({});
    EXPECT_EQ(Viewers().size(), 1);
}

// Ctrl+O on either window asks for recordings, as the menu entry does.
TEST_F(ViewerTest, CtrlOAsksForARecording)
{
    TSession recorded;
    FillSession(recorded, 300);
    WriteRecording(recorded, dir.File("a.csv"));
    toOpen = {QString::fromStdString(dir.File("a.csv"))};
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(openAsked, 1);
    ASSERT_EQ(Viewers().size(), 1);

    TViewerWindow* viewer = Viewers().first();
    ASSERT_TRUE(WaitLoaded(viewer));
    viewer->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(viewer));
    QTest::keyClick(viewer, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(openAsked, 2);
    EXPECT_EQ(Viewers().size(), 2);
}

// A row that is not one stops the reading there: what came before is
// shown, the window says "parcial", and a message gives the line.
TEST_F(ViewerTest, ABadRowLeavesAPartialViewerAndAMessageWithItsLine)
{
    TSession recorded;
    FillSession(recorded, 300);
    std::string text = Rows(recorded, 0, 300);
    text += "0.9,X,100,2048,1\n";  // line 302
    text += Rows(recorded, 0, 300).substr(CsvHeader.size());
    const std::string path = dir.File("estragado.csv");
    WriteText(path, text);

    OpenFromMenu({QString::fromStdString(path)});
    ASSERT_EQ(Viewers().size(), 1);
    TViewerWindow* viewer = Viewers().first();
    ASSERT_TRUE(WaitLoaded(viewer));
    ASSERT_TRUE(QTest::qWaitFor([] { return !g_reported.isEmpty(); }, 5000));

    ExpectSamePoints(*viewer, recorded);
    EXPECT_EQ(viewer->windowTitle(), "estragado.csv (parcial) — Acelerômetro");
    EXPECT_TRUE(viewer->StatusLine->text().startsWith("Parcial")) << viewer->StatusLine->text().toStdString();
    EXPECT_EQ(viewer->Result().Status, TLoadStatus::BadRow);
    ASSERT_EQ(g_reported.size(), 1);
    EXPECT_TRUE(g_reported[0].contains("linha 302")) << g_reported[0].toStdString();
    EXPECT_TRUE(g_reported[0].contains(QString::fromStdString(path))) << g_reported[0].toStdString();
    EXPECT_TRUE(g_reported[0].contains("tempo_s")) << g_reported[0].toStdString();
}

// A last line cut short, as a recording interrupted by a crash leaves it,
// is left out and said in the status line; nothing else is wrong.
TEST_F(ViewerTest, ACutLastLineIsSaidInTheStatusLine)
{
    TSession recorded;
    FillSession(recorded, 300);
    std::string text = Rows(recorded, 0, 300);
    text += "1.234567,Y,10";
    const std::string path = dir.File("interrompido.csv");
    WriteText(path, text);

    TViewerWindow* viewer = form->Viewers().Open(QString::fromStdString(path));
    ASSERT_NE(viewer, nullptr);
    ASSERT_TRUE(WaitLoaded(viewer));
    QTest::qWait(20);  // a message would be on its way by now

    ExpectSamePoints(*viewer, recorded);
    EXPECT_EQ(viewer->windowTitle(), "interrompido.csv — Acelerômetro");
    EXPECT_TRUE(viewer->StatusLine->text().contains("linha 302")) << viewer->StatusLine->text().toStdString();
    EXPECT_TRUE(viewer->StatusLine->text().contains("incompleta")) << viewer->StatusLine->text().toStdString();
    EXPECT_TRUE(g_reported.isEmpty()) << g_reported.join("; ").toStdString();
}

// A file that cannot be shown says what was expected, and leaves no window.
TEST_F(ViewerTest, AFileThatIsNotARecordingLeavesNoWindow)
{
    struct Case { std::string name; std::string text; const char* says; };
    const Case cases[] = {
        {"tabela.csv", "a,b,c\n1,2,3\n", "não é uma gravação do Acelerômetro"},
        {"vazio.csv", "", "o arquivo está vazio"},
        {"planilha.csv", std::string(SheetHeader(TSheetStyle::Brazilian)) + "0,000000;0;1;2;3;1;1;1\n",
         "exportação para planilhas"},
        {"imagem.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "não é de texto"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_reported.clear();
        WriteText(dir.File(c.name), c.text);
        OpenFromMenu({QString::fromStdString(dir.File(c.name))});
        ASSERT_EQ(g_reported.size(), 1);
        EXPECT_TRUE(g_reported[0].contains(QString::fromUtf8(c.says))) << g_reported[0].toStdString();
        EXPECT_TRUE(g_reported[0].contains(QString::fromStdString(dir.File(c.name)))) << g_reported[0].toStdString();
        if (c.name == "tabela.csv") {
            EXPECT_TRUE(g_reported[0].contains("tempo_s,eixo,indice,valor,valido")) << g_reported[0].toStdString();
        }
    }

    g_reported.clear();
    OpenFromMenu({QString::fromStdString(dir.File("nao-existe.csv"))});
    ASSERT_EQ(g_reported.size(), 1);
    EXPECT_TRUE(g_reported[0].contains("nao-existe.csv")) << g_reported[0].toStdString();

    // Larger than the memory free.
    TSession recorded;
    FillSession(recorded, 30000);
    WriteRecording(recorded, dir.File("grande.csv"));
    TLoadOptions little;
    little.AvailableMemory = [] { return std::optional<std::uint64_t>(std::uint64_t(1) << 20); };
    form->Viewers().SetLoadOptions(little);
    g_reported.clear();
    OpenFromMenu({QString::fromStdString(dir.File("grande.csv"))});
    ASSERT_EQ(g_reported.size(), 1);
    EXPECT_TRUE(g_reported[0].contains("grande demais para a memória livre")) << g_reported[0].toStdString();

    EXPECT_TRUE(Viewers().isEmpty());
    for (QWidget* window : QApplication::topLevelWidgets())
        EXPECT_EQ(qobject_cast<TViewerWindow*>(window), nullptr);
}

TEST_F(ViewerTest, OpenOnTheCommandLineOpensEachFile)
{
    TSession first, second;
    FillSession(first, 900, 1);
    FillSession(second, 600, 2);
    const QString a = QString::fromStdString(dir.File("um.csv"));
    const QString b = QString::fromStdString(dir.File("dois.csv"));
    WriteRecording(first, a.toStdString());
    WriteRecording(second, b.toStdString());

    const TCommandLine line = ParseCommandLine({"acelerometro", "--open", a, "--open=" + b});
    ASSERT_EQ(line.Action, TCommandLine::caRun) << line.Text.toStdString();
    EXPECT_EQ(line.Options.OpenFiles, QStringList({a, b}));
    ApplyCommandLine(line.Options, form->Capture(), form->DataJobs(), form->Reporter(),
                     [this](const QString& path) { form->Viewers().Open(path); });
    ASSERT_EQ(Viewers().size(), 2);
    ASSERT_TRUE(WaitLoaded(Viewers()[0]));
    ASSERT_TRUE(WaitLoaded(Viewers()[1]));
    ExpectSamePoints(*Viewers()[0], first);
    ExpectSamePoints(*Viewers()[1], second);
    EXPECT_EQ(Viewers()[1]->windowTitle(), "dois.csv — Acelerômetro");
    EXPECT_TRUE(g_reported.isEmpty()) << g_reported.join("; ").toStdString();
}

// A name as the shell passes it, in bytes that are not UTF-8, opens that
// very file.
TEST_F(ViewerTest, ANameThatIsNotUtf8OpensThatFile)
{
    TSession recorded;
    FillSession(recorded, 300);
    const std::string name = dir.File("caf\xe9.csv");
    WriteRecording(recorded, name);
    std::string program = "acelerometro", option = "--open", file = name;
    char* argv[] = {program.data(), option.data(), file.data()};
    const TCommandLine line = ParseCommandLine(ArgumentsOf(3, argv));
    ASSERT_EQ(line.Action, TCommandLine::caRun) << line.Text.toStdString();
    ApplyCommandLine(line.Options, form->Capture(), form->DataJobs(), form->Reporter(),
                     [this](const QString& path) { form->Viewers().Open(path); });
    ASSERT_EQ(Viewers().size(), 1) << g_reported.join("; ").toStdString();
    ASSERT_TRUE(WaitLoaded(Viewers()[0]));
    ExpectSamePoints(*Viewers()[0], recorded);
}

TEST(OpenOption, NamesThatCannotBeOpenedAreRefused)
{
    TScratchDir dir;
    struct Case { const char* name; QStringList arguments; const char* says; };
    const Case cases[] = {
        {"without a value", {"--open"}, "falta o valor de --open"},
        {"an option for a name", {"--open", "--start"}, "--open: falta o nome do arquivo (veio \"--start\""},
        {"an option-like name", {"--open=-x.csv"}, "./-x.csv"},
        {"empty", {"--open", ""}, "--open: falta o nome do arquivo"},
        {"a folder", {"--open", QString::fromStdString(dir.Path())}, "é uma pasta"},
        {"a file not there", {"--open", QString::fromStdString(dir.File("nada.csv"))}, "não existe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TCommandLine line = ParseCommandLine(QStringList{"acelerometro"} + c.arguments);
        EXPECT_EQ(line.Action, TCommandLine::caError);
        EXPECT_EQ(line.ExitStatus(), 2);
        EXPECT_TRUE(line.Text.contains(QString::fromUtf8(c.says))) << line.Text.toStdString();
    }
    const TCommandLine help = ParseCommandLine({"acelerometro", "--help"});
    EXPECT_TRUE(help.Text.contains("--open ARQUIVO")) << help.Text.toStdString();
}

// Sends a drag of mime over widget and drops it there, as a file manager
// does: the drop comes only when the widget took the drag where it is.
// True when the widget took the drop.
bool DragAndDrop(QWidget* widget, QMimeData& mime)
{
    const QPoint at = widget->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &enter);
    if (!enter.isAccepted())
        return false;
    QDragMoveEvent move(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
    if (!move.isAccepted())
        return false;
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &drop);
    return drop.isAccepted();
}

// Files dropped on the main window's chart, on the window beside the
// chart, or on a viewer, open in viewers of their own.
TEST_F(ViewerTest, DroppedFilesOpenInViewers)
{
    TSession recorded;
    FillSession(recorded, 900);
    const QString path = QString::fromStdString(dir.File("solto.csv"));
    WriteRecording(recorded, path.toStdString());

    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(path), QUrl::fromLocalFile(path)});
    ASSERT_TRUE(DragAndDrop(form->Chart1->viewport(), files));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Viewers().size() == 2; }, 5000));
    ASSERT_TRUE(WaitLoaded(Viewers()[0]));
    ExpectSamePoints(*Viewers()[0], recorded);

    QMimeData one;
    one.setUrls({QUrl::fromLocalFile(path)});
    ASSERT_TRUE(DragAndDrop(form->StatusLine, one));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Viewers().size() == 3; }, 5000));
    ASSERT_TRUE(DragAndDrop(Viewers()[0]->Chart1->viewport(), one));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Viewers().size() == 4; }, 5000));
    ASSERT_TRUE(DragAndDrop(Viewers()[0]->StatusLine, one));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Viewers().size() == 5; }, 5000));

    // Text or a web address is not a file: not taken.
    QMimeData web;
    web.setUrls({QUrl(QStringLiteral("https://example.com/dados.csv"))});
    QMimeData text;
    text.setText(path);
    for (QMimeData* mime : {&web, &text}) {
        EXPECT_FALSE(DragAndDrop(form->Chart1->viewport(), *mime));
        EXPECT_FALSE(DragAndDrop(form->StatusLine, *mime));
    }
    QTest::qWait(20);
    EXPECT_EQ(Viewers().size(), 5);
    EXPECT_TRUE(g_reported.isEmpty()) << g_reported.join("; ").toStdString();
}

// Each viewer owns its points: closing one frees it, and closing the main
// window closes the rest.
TEST_F(ViewerTest, ViewersAreFreedWhenClosedAndCloseWithTheMainWindow)
{
    TSession recorded;
    FillSession(recorded, 900);
    const QString path = QString::fromStdString(dir.File("dados.csv"));
    WriteRecording(recorded, path.toStdString());
    OpenFromMenu({path, path, path});
    ASSERT_EQ(Viewers().size(), 3);
    QPointer<TViewerWindow> viewers[] = {Viewers()[0], Viewers()[1], Viewers()[2]};

    viewers[1]->close();
    EXPECT_EQ(Viewers().size(), 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return viewers[1].isNull(); }, 5000));
    EXPECT_FALSE(viewers[0].isNull());

    form->close();
    EXPECT_TRUE(Viewers().isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return viewers[0].isNull() && viewers[2].isNull(); }, 5000));
    EXPECT_TRUE(g_reported.isEmpty()) << g_reported.join("; ").toStdString();
}

// While the file is read: progress, the export held, and "Cancelar", which
// keeps what was read and marks the window partial.
TEST_F(ViewerTest, CancelKeepsWhatWasReadAsPartial)
{
    TSession recorded;
    FillSession(recorded, 1'500'000);
    const QString path = QString::fromStdString(dir.File("longo.csv"));
    WriteRecording(recorded, path.toStdString());

    TViewerWindow* viewer = form->Viewers().Open(path);
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->Loading());
    EXPECT_FALSE(Named(viewer->DataActions(), "ExportAction")->isEnabled());
    bool cancelled = false;
    QObject::connect(viewer->LoadProgress, &QProgressBar::valueChanged, viewer, [&](int) {
        if (!cancelled && viewer->Session().FrameCount() > 0) {
            cancelled = true;
            EXPECT_TRUE(viewer->CancelButton->isVisible());
            EXPECT_TRUE(viewer->StatusLine->text().startsWith("Lendo longo.csv:")) << viewer->StatusLine->text().toStdString();
            QTest::mouseClick(viewer->CancelButton, Qt::LeftButton);
        }
    });
    ASSERT_TRUE(WaitLoaded(viewer));
    ASSERT_TRUE(cancelled);
    const std::uint64_t read = viewer->Session().FrameCount();
    EXPECT_GT(read, 0u);
    EXPECT_LT(read, recorded.FrameCount());
    EXPECT_EQ(viewer->Result().Status, TLoadStatus::Cancelled);
    EXPECT_EQ(viewer->windowTitle(), "longo.csv (parcial) — Acelerômetro");
    EXPECT_TRUE(viewer->StatusLine->text().contains("cancelada")) << viewer->StatusLine->text().toStdString();
    EXPECT_TRUE(Named(viewer->DataActions(), "ExportAction")->isEnabled());
    EXPECT_TRUE(SameLines(Rows(viewer->Session(), 0, read), Rows(recorded, 0, read)));
    QTest::qWait(20);
    EXPECT_TRUE(g_reported.isEmpty()) << g_reported.join("; ").toStdString();
}

// Reading a large file in a viewer while the main window captures from a
// device: every frame reaches the main window's chart, in order, and the
// viewer gets every row.
TEST_F(ViewerTest, OpeningARecordingWhileCapturingLosesNoFrame)
{
    TSession recorded;
    FillSession(recorded, 2'000'000);
    const QString path = QString::fromStdString(dir.File("grande.csv"));
    WriteRecording(recorded, path.toStdString());

    pty = std::make_unique<TPtyPair>(false);
    UsePty(*form, *pty);
    form->Button2->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    TStreamBuilder builder{FaultyStream()};
    TExpectedPoints expected;
    std::vector<uint8_t> bytes;
    builder.Build(30000, bytes, &expected);
    // 9,600 frames a second, as a fast device sends them: the stream lasts
    // longer than the reading.
    writer.Start(pty->Master(), std::move(bytes), 3 * 9600, 0.016);

    TViewerWindow* viewer = form->Viewers().Open(path);
    ASSERT_NE(viewer, nullptr);
    // The reading goes on while the stream does: its first rows come in
    // before the stream's end (however slow a loaded machine makes both).
    ASSERT_TRUE(QTest::qWaitFor([&] { return viewer->Session().FrameCount() > 0 || !writer.Running(); }, 30000));
    EXPECT_TRUE(writer.Running()) << "the stream ended before the reading began: it proves nothing";
    ASSERT_TRUE(WaitLoaded(viewer, 60000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Capture().Session().FrameCount() >= 30000; }, 30000));

    EXPECT_EQ(viewer->Result().Status, TLoadStatus::Complete);
    EXPECT_EQ(viewer->Session().FrameCount(), recorded.FrameCount());
    TFastLineSeries* const series[] = {form->Series1, form->Series2, form->Series3};
    for (int a = 0; a < AxisCount; ++a)
        EXPECT_EQ(Values(*series[a]), expected.PerAxis[std::size_t(a)]) << a;
    EXPECT_EQ(form->Capture().Session().FrameCount(), 30000u);
    EXPECT_TRUE(g_reported.isEmpty()) << g_reported.join("; ").toStdString();
}

// "Exportar dados…" in a viewer writes the program's own format or one row
// per X, Y, Z set for spreadsheets, as the type chosen in the dialog says.
TEST_F(ViewerTest, ExportsForSpreadsheetsThroughTheDataAction)
{
    const std::string recording = "tempo_s,eixo,indice,valor,valido\n"
                                  "0.000000,X,0,2048,1\n"
                                  "0.000000,Y,0,2050,1\n"
                                  "0.003125,Z,0,2457,0\n"
                                  "0.006250,X,1,2049,1\n";
    WriteText(dir.File("curta.csv"), recording);
    TViewerWindow* viewer = form->Viewers().Open(QString::fromStdString(dir.File("curta.csv")));
    ASSERT_NE(viewer, nullptr);
    ASSERT_TRUE(WaitLoaded(viewer));
    QAction* exportData = Named(viewer->DataActions(), "ExportAction");

    struct Case { TExportFormat format; const char* file; std::string text; };
    const Case cases[] = {
        {TExportFormat::Recording, "propria.csv", recording},
        {TExportFormat::SheetComma, "planilha.csv",
         "tempo_s,indice,x,y,z,valido_x,valido_y,valido_z\n"
         "0.003125,0,2048,2050,2457,1,1,0\n"
         "0.006250,1,2049,,,1,,\n"},
        {TExportFormat::SheetBrazilian, "planilha-br.csv",
         "tempo_s;indice;x;y;z;valido_x;valido_y;valido_z\n"
         "0,003125;0;2048;2050;2457;1;1;0\n"
         "0,006250;1;2049;;;1;;\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        nextExport = {QString::fromStdString(dir.File(c.file)), c.format};
        exportData->trigger();
        ASSERT_TRUE(QTest::qWaitFor([&] { return exportData->isEnabled(); }, 10000));
        EXPECT_EQ(ReadFile(dir.File(c.file)), c.text);
        const std::string rows = std::to_string(std::count(c.text.begin(), c.text.end(), '\n') - 1);
        EXPECT_EQ(viewer->StatusLine->text().toStdString(),
                  std::string("Exportação salva: ") + c.file + ", " + rows + " linhas");
    }
    EXPECT_TRUE(g_reported.isEmpty()) << g_reported.join("; ").toStdString();
}

// The same from the main window, over what came from the device.
TEST_F(ViewerTest, TheMainWindowExportsForSpreadsheetsToo)
{
    pty = std::make_unique<TPtyPair>(false);
    UsePty(*form, *pty);
    form->Button2->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    TStreamBuilder builder{FaultyStream()};
    std::vector<uint8_t> bytes;
    builder.Build(3000, bytes);
    writer.Start(pty->Master(), std::move(bytes), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Capture().Session().FrameCount() == 3000; }, 20000));

    const TSession& session = form->Capture().Session();
    TExportRows rows(session, TExportFormat::SheetBrazilian);
    TTextBuffer expected;
    expected.Append(rows.Header());
    rows.Append(rows.RowCount(), expected);
    nextExport = {QString::fromStdString(dir.File("planilha.csv")), TExportFormat::SheetBrazilian};
    QAction* exportData = Named(form->DataActions(), "ExportAction");
    exportData->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return exportData->isEnabled(); }, 10000));
    const std::string written = ReadFile(dir.File("planilha.csv"));
    EXPECT_TRUE(SameLines(written, std::string(expected.View())));
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 1 + 1000);
    EXPECT_TRUE(g_reported.isEmpty()) << g_reported.join("; ").toStdString();
}

}  // namespace
