// A small file saved on its file's own thread: the file replaced only once
// complete, what fails said with the file's name and the reason.
#include "exception.h"
#include "file_save.h"
#include "scratch_dir.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>

namespace {

// Bytes as a picture has them: every value, NULs too, and more than the
// writer buffers at once.
std::string Binary(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xFF);
    return bytes;
}

TEST(FileSave, ReplacesTheFileOnceCompleteAndSaysSo)
{
    TScratchDir dir;
    const std::string path = dir.File("calibracao.txt");
    std::ofstream(path) << "antigo, mais comprido que o novo\n";
    TFileSave save(QString::fromStdString(path), "x 1 2\n");
    QSignalSpy saved(&save, &TFileSave::saved);
    QSignalSpy failed(&save, &TFileSave::failed);
    ASSERT_TRUE(saved.wait(5000));
    EXPECT_EQ(saved.first().first().toString(), QString::fromStdString(path));
    EXPECT_TRUE(failed.isEmpty());
    EXPECT_TRUE(save.Ended());
    EXPECT_EQ(ReadFile(path), "x 1 2\n");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"calibracao.txt"});  // nothing left beside it
}

TEST(FileSave, WritesBytesAsTheyAre)
{
    TScratchDir dir;
    const std::string path = dir.File("grafico.png");
    const std::string bytes = Binary(3 * 1024 * 1024 + 5);
    TFileSave save(QString::fromStdString(path), bytes);
    QSignalSpy saved(&save, &TFileSave::saved);
    ASSERT_TRUE(saved.wait(10000));
    EXPECT_TRUE(ReadFile(path) == bytes);
}

TEST(FileSave, SaysWhatFailsNamingTheFile)
{
    TScratchDir dir;
    // Cannot be created: said at once.
    const std::string nowhere = dir.File("pasta-que-nao-existe/c.txt");
    try {
        TFileSave save(QString::fromStdString(nowhere), "x\n");
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_NE(e.Message().find(nowhere), std::string::npos) << e.Message();
    }
    // Fails as it writes: said by the signal.
    TFileSave full(QStringLiteral("/dev/full"), "x 1 2\n");
    QSignalSpy failed(&full, &TFileSave::failed);
    ASSERT_TRUE(failed.wait(5000));
    EXPECT_TRUE(failed.first().first().toString().contains(QStringLiteral("/dev/full")))
        << failed.first().first().toString().toStdString();
}

// The disk fills part way (here: files may not grow past 4 KiB): the file
// there before stays as it was, and nothing is left beside it.
TEST(FileSave, AFailedWriteLeavesTheOldFile)
{
    TScratchDir dir;
    const std::string path = dir.File("grafico.png");
    std::ofstream(path) << "antigo\n";
    TFileSizeLimit limit(4096);
    TFileSave save(QString::fromStdString(path), Binary(64 * 1024));
    QSignalSpy failed(&save, &TFileSave::failed);
    ASSERT_TRUE(failed.wait(5000));
    const QString message = failed.first().first().toString();
    EXPECT_TRUE(message.contains(QString::fromStdString(path)) && message.contains(QStringLiteral("tamanho máximo")))
        << message.toStdString();
    EXPECT_EQ(ReadFile(path), "antigo\n");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"grafico.png"});
}

// A save nobody waits for goes once it has ended; its failure reaches the
// reporter, its success is heard from the save.
TEST(FileSave, StartedSaveEndsOnItsOwn)
{
    TScratchDir dir;
    struct TCase {
        std::string Path;
        bool Saves;
    };
    const TCase cases[] = {{dir.File("calibracao.txt"), true}, {"/dev/full", false}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Path);
        QObject owner;
        std::vector<std::string> reported;
        QPointer<TFileSave> save = StartFileSave(QString::fromStdString(c.Path), "x 1 2\n", owner,
                                                 [&](const std::string& message) { reported.push_back(message); });
        QSignalSpy saved(save.data(), &TFileSave::saved);
        ASSERT_TRUE(QTest::qWaitFor([&] { return save.isNull(); }, 5000));
        EXPECT_EQ(saved.size(), c.Saves ? 1 : 0);
        if (c.Saves) {
            EXPECT_TRUE(reported.empty());
            EXPECT_EQ(ReadFile(c.Path), "x 1 2\n");
        } else {
            ASSERT_EQ(reported.size(), 1u);
            EXPECT_NE(reported[0].find(c.Path), std::string::npos) << reported[0];
        }
    }
}

// Given up while its thread may still write (the window closed): the name
// holds the whole file or nothing, and no temporary is left beside it.
TEST(FileSave, GivenUpLeavesNoHalfFile)
{
    TScratchDir dir;
    const std::string path = dir.File("grafico.png");
    const std::string bytes = Binary(8 * 1024 * 1024);
    std::make_unique<TFileSave>(QString::fromStdString(path), bytes).reset();
    const std::vector<std::string> entries = dir.Entries();
    if (!entries.empty()) {
        EXPECT_EQ(entries, std::vector<std::string>{"grafico.png"});
        EXPECT_TRUE(ReadFile(path) == bytes);
    }
}

}  // namespace
