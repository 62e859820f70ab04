// A short text saved on its file's own thread: the file replaced only once
// complete, what fails said with the file's name and the reason.
#include "exception.h"
#include "scratch_dir.h"
#include "text_save.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <fstream>

namespace {

TEST(TextSave, ReplacesTheFileOnceCompleteAndSaysSo)
{
    TScratchDir dir;
    const std::string path = dir.File("calibracao.txt");
    std::ofstream(path) << "antigo, mais comprido que o novo\n";
    TTextSave save(QString::fromStdString(path), "x 1 2\n");
    QSignalSpy saved(&save, &TTextSave::saved);
    QSignalSpy failed(&save, &TTextSave::failed);
    ASSERT_TRUE(saved.wait(5000));
    EXPECT_EQ(saved.first().first().toString(), QString::fromStdString(path));
    EXPECT_TRUE(failed.isEmpty());
    EXPECT_TRUE(save.Ended());
    EXPECT_EQ(ReadFile(path), "x 1 2\n");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"calibracao.txt"});  // nothing left beside it
}

TEST(TextSave, SaysWhatFailsNamingTheFile)
{
    TScratchDir dir;
    // Cannot be created: said at once.
    const std::string nowhere = dir.File("pasta-que-nao-existe/c.txt");
    try {
        TTextSave save(QString::fromStdString(nowhere), "x\n");
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_NE(e.Message().find(nowhere), std::string::npos) << e.Message();
    }
    // Fails as it writes: said by the signal.
    TTextSave full(QStringLiteral("/dev/full"), "x 1 2\n");
    QSignalSpy failed(&full, &TTextSave::failed);
    ASSERT_TRUE(failed.wait(5000));
    EXPECT_TRUE(failed.first().first().toString().contains(QStringLiteral("/dev/full")))
        << failed.first().first().toString().toStdString();
}

}  // namespace
