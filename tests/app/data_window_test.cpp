// Recording, export and pictures on the real window: the actions as the
// user triggers them (with the file names given in place of the dialogs),
// the real port layer on pseudo-terminals, the simulator's streams, and the
// files read back.
#include "app_test_support.h"
#include "csv_rows.h"
#include "paced_writer.h"
#include "paused_reader.h"
#include "pty_pair.h"
#include "same_lines.h"
#include "scratch_dir.h"
#include "stream_builder.h"
#include "tchart.h"
#include "tcomport.h"
#include "tform2.h"

#include <QAction>
#include <QEventLoop>
#include <QTimer>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QSvgRenderer>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <unistd.h>

namespace {

// Runs the event loop, as the program does, until done() holds; false
// after timeoutMs. Unlike a wait that sleeps between its looks, the port is
// read as soon as bytes arrive, so large streams pass at full speed.
bool RunUntil(const std::function<bool()>& done, int timeoutMs = 20000)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    look.start(1);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

class DataWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_reported.clear();
        form = std::make_unique<TForm2>();
        form->SetDataDialogs({[this](QWidget*, TFileKind kind) {
                                  asked.push_back(kind);
                                  return QString::fromStdString(nextFile);
                              },
                              [this](QWidget*, QSize shown) {
                                  shownSize = shown;
                                  return nextSize;
                              },
                              {},    // an export asks FileName
                              {}});  // nothing is opened
        form->show();
    }
    void TearDown() override
    {
        writer.Stop();
        form.reset();
    }

    QAction* Action(const char* name) const
    {
        for (QAction* action : form->DataActions())
            if (action->objectName() == QLatin1String(name))
                return action;
        ADD_FAILURE() << "no action " << name;
        return nullptr;
    }
    // Triggers an action as a menu does, writing to file.
    void Trigger(const char* action, const std::string& file)
    {
        nextFile = file;
        Action(action)->trigger();
    }
    void Record(const std::string& file) { Trigger("RecordAction", file); }
    // "Salvar imagem…" to file, then waits until the picture has taken its
    // name (it is written on the file's own thread, and complete once there).
    void SaveImage(const std::string& file)
    {
        Trigger("SaveImageAction", file);
        ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(QString::fromStdString(file)); }, 20000)) << file;
    }
    // "Parar gravação", then waits until the file is complete: its last
    // rows are written, and it is closed, on its own thread.
    void StopRecording()
    {
        Action("StopRecordingAction")->trigger();
        EXPECT_FALSE(form->DataJobs().IsRecording());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !form->DataJobs().Writing(); }, 20000));
    }
    // Exports to file and waits until the export has ended.
    void Export(const std::string& file)
    {
        Trigger("ExportAction", file);
        ASSERT_TRUE(QTest::qWaitFor([&] { return Action("ExportAction")->isEnabled(); }, 20000));
    }

    void OpenNewPty()
    {
        pty = std::make_unique<TPtyPair>(false);
        UsePty(*form, *pty);
        form->Button2->click();
        ASSERT_TRUE(form->ComPort1->Connected());
    }
    std::uint64_t Frames() const { return form->Capture().Session().FrameCount(); }
    // Sends frames from the builder; waits until the window has them all.
    void SendAndWait(std::size_t frames)
    {
        std::vector<uint8_t> bytes;
        builder.Build(frames, bytes, &expected);
        const std::uint64_t want = Frames() + frames;
        writer.Start(pty->Master(), std::move(bytes), 0);
        ASSERT_TRUE(RunUntil([&] { return Frames() >= want; })) << Frames() << " of " << want;
        writer.Stop();
    }

    // The file a recording or an export of the session's frames [from, to)
    // must be, formatted here row by row.
    std::string Rows(std::uint64_t from, std::uint64_t to) const
    {
        std::string text(CsvHeader);
        char row[MaxCsvRowBytes];
        for (std::uint64_t n = from; n < to; ++n)
            text.append(row, FormatCsvRow(row, form->Capture().Session().Record(n)));
        return text;
    }

    std::unique_ptr<TForm2> form;
    std::unique_ptr<TPtyPair> pty;
    TPacedWriter writer;
    TStreamBuilder builder{FaultyStream()};
    TExpectedPoints expected;
    TScratchDir dir;
    std::string nextFile;
    QSize nextSize;
    QSize shownSize;
    std::vector<TFileKind> asked;
};

struct TCsvRow {
    std::string Time;
    char Axis;
    long long Index;
    long long Value;
    int Valid;
};

std::vector<TCsvRow> ParseCsv(const std::string& text, std::string* header)
{
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    *header = line;
    std::vector<TCsvRow> rows;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        TCsvRow row{};
        std::string axis;
        char comma;
        std::getline(fields, row.Time, ',');
        std::getline(fields, axis, ',');
        row.Axis = axis.size() == 1 ? axis[0] : '?';
        fields >> row.Index >> comma >> row.Value >> comma >> row.Valid;
        rows.push_back(row);
    }
    return rows;
}

TEST_F(DataWindowTest, ActionsAtStartAndWhileRecording)
{
    const QList<QAction*> actions = form->DataActions();
    QStringList captions;
    for (QAction* a : actions)
        captions << a->text();
    EXPECT_EQ(captions, QStringList({"Gravar…", "Parar gravação", "Exportar dados…", "Salvar imagem…"}));
    for (QAction* a : actions)
        EXPECT_EQ(a->parent(), form.get());
    const bool atStart[] = {true, false, true, true};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(actions[i]->isEnabled(), atStart[i]) << i;
    EXPECT_FALSE(form->DataJobs().IsRecording());

    QSignalSpy changes(&form->DataJobs(), &TDataJobs::recordingStateChanged);
    Record(dir.File("gravacao.csv"));
    EXPECT_EQ(asked, std::vector<TFileKind>{TFileKind::Recording});
    EXPECT_TRUE(form->DataJobs().IsRecording());
    EXPECT_FALSE(Action("RecordAction")->isEnabled());
    EXPECT_TRUE(Action("StopRecordingAction")->isEnabled());
    EXPECT_EQ(form->DataJobs().RecordingState().Path, QString::fromStdString(dir.File("gravacao.csv")));
    ASSERT_GE(changes.count(), 1);
    EXPECT_TRUE(changes.last().at(0).value<TRecordingState>().Active);

    StopRecording();
    EXPECT_TRUE(Action("RecordAction")->isEnabled());
    EXPECT_FALSE(changes.last().at(0).value<TRecordingState>().Active);
    EXPECT_EQ(ReadFile(dir.File("gravacao.csv")), CsvHeader);

    // A dialog the user closed starts nothing.
    Record("");
    EXPECT_FALSE(form->DataJobs().IsRecording());
    EXPECT_TRUE(g_reported.isEmpty()) << g_reported.join("; ").toStdString();
}

// A stream with failing frames and junk, recorded from before its first
// frame and exported at its end: both files hold the same rows, which are
// the simulator's points in order, held values marked 0.
TEST_F(DataWindowTest, RecordingFromTheStartAndExportAtTheEndHoldTheSameRows)
{
    Record(dir.File("gravacao.csv"));
    OpenNewPty();
    SendAndWait(3000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->DataJobs().RecordingState().Rows == 3000u; }, 5000))
        << form->DataJobs().RecordingState().Rows;
    Export(dir.File("exportado.csv"));
    StopRecording();

    const std::string recorded = ReadFile(dir.File("gravacao.csv"));
    EXPECT_TRUE(SameLines(ReadFile(dir.File("exportado.csv")), recorded));
    EXPECT_TRUE(SameLines(recorded, Rows(0, 3000)));
    std::string header;
    const std::vector<TCsvRow> rows = ParseCsv(recorded, &header);
    EXPECT_EQ(header, "tempo_s,eixo,indice,valor,valido");
    ASSERT_EQ(rows.size(), expected.Size());
    long long next[AxisCount] = {};
    int held = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const TExpectedPoint& want = expected.InOrder[i];
        ASSERT_EQ(rows[i].Axis, "XYZ"[want.Axis]) << i;
        ASSERT_EQ(rows[i].Index, next[want.Axis]++) << i;
        ASSERT_EQ(rows[i].Value, (long long)want.Value) << i;
        ASSERT_EQ(rows[i].Valid, want.Valid ? 1 : 0) << i;
        if (i > 0) {
            ASSERT_LE(std::stod(rows[i - 1].Time), std::stod(rows[i].Time)) << i;
        }
        held += want.Valid ? 0 : 1;
    }
    EXPECT_GT(held, 50);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"exportado.csv", "gravacao.csv"}));
    EXPECT_TRUE(g_reported.isEmpty()) << g_reported.join("; ").toStdString();
}

// Once a file is complete, the status line names it and its rows for a
// few seconds: after "Parar gravação" and after an export.
TEST_F(DataWindowTest, TheStatusLineSaysWhenAFileIsDone)
{
    OpenNewPty();
    Record(dir.File("gravacao.csv"));
    SendAndWait(1500);
    StopRecording();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return form->StatusLine->text().contains("Gravação salva: gravacao.csv, 1.500 linhas"); }, 5000))
        << form->StatusLine->text().toStdString();
    SendAndWait(300);
    Export(dir.File("exportado.csv"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return form->StatusLine->text().contains("Exportação salva: exportado.csv, 1.800 linhas"); }, 5000))
        << form->StatusLine->text().toStdString();
    // For a few seconds only.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form->StatusLine->text().contains("salva"); }, 4 * TForm2::NoticeMs))
        << form->StatusLine->text().toStdString();
    EXPECT_TRUE(g_reported.isEmpty()) << g_reported.join("; ").toStdString();
}

// Started with frames already held and the port closed, a recording takes
// every frame from then on, through "Para"/"Inicia" and a device that goes
// away and comes back on another terminal.
TEST_F(DataWindowTest, RecordingGoesOnAcrossStopStartAndHangUp)
{
    OpenNewPty();
    SendAndWait(300);
    form->Button3->click();
    Record(dir.File("gravacao.csv"));

    form->Button2->click();
    SendAndWait(300);
    form->Button3->click();
    form->Button2->click();
    SendAndWait(300);
    pty->CloseMaster();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->ComPort1->Connected(); }, 5000));
    EXPECT_TRUE(form->DataJobs().IsRecording());
    OpenNewPty();
    SendAndWait(300);
    StopRecording();

    ASSERT_EQ(Frames(), 1200u);
    EXPECT_TRUE(SameLines(ReadFile(dir.File("gravacao.csv")), Rows(300, 1200)));
    EXPECT_EQ(form->DataJobs().RecordingState().Rows, 900u);
    ASSERT_EQ(g_reported.size(), 1);  // the hang-up, nothing about the file
    EXPECT_TRUE(g_reported[0].contains("desconectado")) << g_reported[0].toStdString();
}

// Names that cannot be written, even by root: the message names the file
// and the reason, nothing is left behind, capture and the chart go on.
TEST_F(DataWindowTest, FilesThatCannotBeWrittenLeaveCaptureGoing)
{
    OpenNewPty();
    SendAndWait(30);
    struct Case { std::string file; const char* reason; };
    const Case cases[] = {
        {"/dev/full", "não há espaço livre no disco"},
        {dir.File("pasta-que-nao-existe/dados.csv"), "o caminho não existe"},
        {dir.Path(), "o nome é de uma pasta"},
        {"/proc/acelerometro.csv", "Não foi possível criar"},
    };
    for (const char* action : {"RecordAction", "ExportAction"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(action) + " " + c.file);
            g_reported.clear();
            Trigger(action, c.file);
            ASSERT_TRUE(QTest::qWaitFor([&] { return !g_reported.isEmpty(); }, 5000));
            ASSERT_EQ(g_reported.size(), 1);
            EXPECT_TRUE(g_reported[0].contains(QString::fromStdString("\"" + c.file + "\"")))
                << g_reported[0].toStdString();
            EXPECT_TRUE(g_reported[0].contains(QString::fromUtf8(c.reason))) << g_reported[0].toStdString();
            // The status line says so too, beside the box.
            const QString name = QFileInfo(QString::fromStdString(c.file)).fileName();
            const QString says = std::string(action) == "RecordAction"
                                     ? QStringLiteral("a gravação em %1 parou por um erro").arg(name)
                                     : QStringLiteral("a exportação para %1 falhou").arg(name);
            EXPECT_TRUE(QTest::qWaitFor([&] { return form->StatusLine->text().contains(says); }, 2000))
                << form->StatusLine->text().toStdString() << " lacks " << says.toStdString();
            EXPECT_FALSE(form->DataJobs().IsRecording());
            EXPECT_TRUE(Action("RecordAction")->isEnabled());
            EXPECT_TRUE(QTest::qWaitFor([&] { return Action("ExportAction")->isEnabled(); }));

            const qint64 before = form->Series1->Count();
            SendAndWait(30);
            EXPECT_EQ(form->Series1->Count(), before + 10);
            EXPECT_TRUE(form->ComPort1->Connected());
        }
    }
    EXPECT_TRUE(dir.Entries().empty());
    EXPECT_EQ(g_reported.size(), 1);
}

// Exporting or saving a picture over the file being recorded would leave
// the recording writing into a file without a name: refused, the
// recording goes on.
TEST_F(DataWindowTest, TheFileBeingRecordedIsNotReplaced)
{
    OpenNewPty();
    Record(dir.File("gravacao.csv"));
    SendAndWait(300);
    const std::string link = dir.File("atalho.csv");
    ASSERT_EQ(::symlink(dir.File("gravacao.csv").c_str(), link.c_str()), 0);
    nextSize = QSize(640, 480);
    const std::pair<const char*, std::string> attempts[] = {
        {"ExportAction", dir.File("gravacao.csv")},
        {"ExportAction", link},
        {"SaveImageAction", dir.Path() + "/./gravacao.csv"},
    };
    for (const auto& [action, file] : attempts) {
        SCOPED_TRACE(file);
        g_reported.clear();
        Trigger(action, file);
        ASSERT_EQ(g_reported.size(), 1);
        EXPECT_TRUE(g_reported[0].contains("a gravação está sendo feita nele")) << g_reported[0].toStdString();
        EXPECT_TRUE(form->DataJobs().IsRecording());
        EXPECT_TRUE(Action("ExportAction")->isEnabled());
    }
    SendAndWait(300);
    StopRecording();
    EXPECT_TRUE(SameLines(ReadFile(dir.File("gravacao.csv")), Rows(0, 600)));
}

// The disk fills while recording (here: the file may not grow past 4 KiB):
// the recording stops with a message and keeps the rows that got there;
// capture goes on.
TEST_F(DataWindowTest, AWriteErrorWhileRecordingStopsItAndCaptureGoesOn)
{
    OpenNewPty();
    TFileSizeLimit limit(4096);
    Record(dir.File("gravacao.csv"));
    ASSERT_TRUE(form->DataJobs().IsRecording());
    SendAndWait(3000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !g_reported.isEmpty(); }, 5000));
    EXPECT_FALSE(form->DataJobs().IsRecording());
    EXPECT_TRUE(Action("RecordAction")->isEnabled());
    ASSERT_EQ(g_reported.size(), 1);
    EXPECT_TRUE(g_reported[0].contains(QString::fromStdString("\"" + dir.File("gravacao.csv") + "\"")));
    EXPECT_TRUE(g_reported[0].contains("tamanho máximo")) << g_reported[0].toStdString();
    // Cut back to the last whole row that fitted, never inside one.
    const std::string fitted = Rows(0, 3000).substr(0, 4096);
    EXPECT_TRUE(SameLines(ReadFile(dir.File("gravacao.csv")), fitted.substr(0, fitted.rfind('\n') + 1)));

    SendAndWait(300);
    EXPECT_EQ(Frames(), 3300u);
    EXPECT_EQ(g_reported.size(), 1);
}

// Closing the window, however soon after the last frame, leaves every row
// in the file.
TEST_F(DataWindowTest, ClosingTheWindowWritesTheLastRows)
{
    OpenNewPty();
    form->DataJobs().StartRecording(QString::fromStdString(dir.File("gravacao.csv")));
    SendAndWait(900);
    form->close();
    EXPECT_FALSE(form->DataJobs().IsRecording());
    EXPECT_FALSE(form->ComPort1->Connected());
    EXPECT_TRUE(SameLines(ReadFile(dir.File("gravacao.csv")), Rows(0, 900)));
    EXPECT_TRUE(g_reported.isEmpty()) << g_reported.join("; ").toStdString();
}

// An export of a large session runs while the port goes on delivering:
// the file holds the frames held when it began; a cancelled one leaves
// nothing, under its name or beside it.
TEST_F(DataWindowTest, ExportRunsAlongsideCaptureAndCancelLeavesNothing)
{
    OpenNewPty();
    SendAndWait(600000);

    std::vector<uint8_t> bytes;
    builder.Build(3000, bytes, &expected);
    std::uint64_t framesAtEnd = 0;
    QObject::connect(Action("ExportAction"), &QAction::enabledChanged, form.get(), [&](bool enabled) {
        if (enabled)
            framesAtEnd = Frames();
    });
    Trigger("ExportAction", dir.File("exportado.csv"));
    ASSERT_FALSE(Action("ExportAction")->isEnabled());
    writer.Start(pty->Master(), std::move(bytes), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Action("ExportAction")->isEnabled(); }, 30000));
    EXPECT_GT(framesAtEnd, 600000u);  // the port was read between the slices
    ASSERT_TRUE(QTest::qWaitFor([&] { return Frames() == 603000; }, 5000));
    EXPECT_TRUE(SameLines(ReadFile(dir.File("exportado.csv")), Rows(0, 600000)));


    // Cancel at the first sign of progress, as the user would on the
    // progress dialog.
    Trigger("ExportAction", dir.File("cancelado.csv"));
    const auto dialogs = form->findChildren<QProgressDialog*>();
    ASSERT_FALSE(dialogs.isEmpty());
    QProgressDialog* dialog = dialogs.last();
    QObject::connect(dialog->findChild<QProgressBar*>(), &QProgressBar::valueChanged, dialog, [dialog](int value) {
        if (value > 0)
            dialog->findChild<QPushButton*>()->click();
    });
    // Enabled again once the export's thread has removed what it wrote.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Action("ExportAction")->isEnabled(); }, 30000));
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"exportado.csv"});
    EXPECT_TRUE(g_reported.isEmpty()) << g_reported.join("; ").toStdString();
}

TEST_F(DataWindowTest, SavesThePictureAtTheSizeAskedFor)
{
    OpenNewPty();
    SendAndWait(3000);
    const QColor colours[] = {form->Series1->Color(), form->Series2->Color(), form->Series3->Color()};

    nextSize = QSize(1920, 1080);
    SaveImage(dir.File("grafico.png"));
    EXPECT_EQ(shownSize, form->Chart1->size());
    const QImage png(QString::fromStdString(dir.File("grafico.png")));
    ASSERT_EQ(png.size(), QSize(1920, 1080));
    for (const QColor& colour : colours) {
        int pixels = 0;
        for (int y = 0; y < png.height(); ++y)
            for (int x = 0; x < png.width(); ++x)
                pixels += png.pixelColor(x, y) == colour ? 1 : 0;
        EXPECT_GT(pixels, 1000) << colour.name().toStdString();
    }

    nextSize = QSize(1280, 720);
    SaveImage(dir.File("grafico.svg"));
    QSvgRenderer svg(QString::fromStdString(dir.File("grafico.svg")));
    ASSERT_TRUE(svg.isValid());
    EXPECT_EQ(svg.defaultSize(), QSize(1280, 720));
    const std::string text = ReadFile(dir.File("grafico.svg"));
    for (const QColor& colour : colours)
        EXPECT_NE(text.find(colour.name().toStdString()), std::string::npos) << colour.name().toStdString();

    // The size dialog given up: nothing is written.
    nextSize = QSize();
    Trigger("SaveImageAction", dir.File("nada.png"));
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"grafico.png", "grafico.svg"}));
    EXPECT_TRUE(g_reported.isEmpty()) << g_reported.join("; ").toStdString();
}

// The picture shows what the chart shows: its zoom and its hidden lines.
TEST_F(DataWindowTest, ThePictureShowsTheViewOnScreen)
{
    OpenNewPty();
    SendAndWait(3000);
    TChartView view = form->Chart1->View();
    view.Whole = false;
    view.MinX = 200;
    view.MaxX = 300;
    view.Hidden = {false, true, false};
    form->Chart1->SetView(view);

    nextSize = form->Chart1->size();
    SaveImage(dir.File("vista.png"));
    const QImage png = QImage(QString::fromStdString(dir.File("vista.png"))).convertToFormat(QImage::Format_ARGB32);
    const QImage shown = form->Chart1->Picture().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(png.size(), shown.size());
    // The lines are where they are on screen, pixel for pixel (the text may
    // be set in another font, so only the line colours are compared).
    const QColor colours[] = {form->Series1->Color(), form->Series2->Color(), form->Series3->Color()};
    for (int axis = 0; axis < 3; ++axis) {
        long inPicture = 0, onScreen = 0, differing = 0;
        for (int y = 0; y < png.height(); ++y) {
            for (int x = 0; x < png.width(); ++x) {
                const bool a = png.pixelColor(x, y) == colours[axis];
                const bool b = shown.pixelColor(x, y) == colours[axis];
                inPicture += a;
                onScreen += b;
                differing += a != b;
            }
        }
        EXPECT_EQ(differing, 0) << axis;
        if (axis == 1)
            EXPECT_EQ(inPicture, 0);
        else
            EXPECT_GT(inPicture, 100) << axis;
    }
}

// Pictures of a chart with lines saved into a pipe whose reader does not
// read yet, with room for a page only. Written by the GUI thread, the
// action would return only once the reader's watchdog had read the pipe.
class StalledPicture : public DataWindowTest {
protected:
    void SetUp() override
    {
        DataWindowTest::SetUp();
        OpenNewPty();
        SendAndWait(3000);
        ASSERT_TRUE(reader.IsOpen());
        room = reader.SetPipeSize(4096);
    }
    void SaveIntoPipe(QSize size)
    {
        nextSize = size;
        Trigger("SaveImageAction", pipe);
        EXPECT_FALSE(reader.WatchdogFired());
    }

    const std::string pipe = dir.File("pipe.png");
    TPausedReader reader{pipe};
    int room = 0;
};

// The picture is drawn on the GUI thread but written on the file's own: a
// reader that does not read holds the window up no more than a slow disk.
TEST_F(StalledPicture, IsWrittenOffTheWindowsThread)
{
    SaveIntoPipe(QSize(1280, 720));
    reader.Resume();
    ASSERT_TRUE(QTest::qWaitFor([&] { return reader.Ended(); }, 20000));
    const QByteArray bytes = QByteArray::fromStdString(reader.Text());
    EXPECT_GT(bytes.size(), room);
    EXPECT_EQ(QImage::fromData(bytes, "PNG").size(), QSize(1280, 720));
    EXPECT_TRUE(g_reported.isEmpty()) << g_reported.join("; ").toStdString();
}

// The window closed while pictures are being written: it does not wait for
// the reader, nothing is reported, and a file's name holds the whole
// picture or nothing, with no temporary left beside it.
TEST_F(StalledPicture, ClosingTheWindowGivesThemUp)
{
    SaveIntoPipe(QSize(1920, 1080));
    Trigger("SaveImageAction", dir.File("grafico.png"));
    form.reset();
    EXPECT_TRUE(g_reported.isEmpty()) << g_reported.join("; ").toStdString();
    const std::vector<std::string> entries = dir.Entries();
    if (entries.size() == 2) {
        EXPECT_EQ(entries, (std::vector<std::string>{"grafico.png", "pipe.png"}));
        EXPECT_EQ(QImage(QString::fromStdString(dir.File("grafico.png"))).size(), QSize(1920, 1080));
    } else {
        EXPECT_EQ(entries, std::vector<std::string>{"pipe.png"});
    }
}

}  // namespace

