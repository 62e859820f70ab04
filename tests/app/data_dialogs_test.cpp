// What the data actions ask: the name of the file to write, by the rule
// and through the real dialog with a name typed as the user would.
#include "data_dialogs.h"
#include "scratch_dir.h"

#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

TEST(NameToWrite, AddsTheExtensionOnlyToANewFileWithoutOne)
{
    struct Case { const char* typed; const char* extension; bool exists; const char* name; };
    const Case cases[] = {
        {"/home/ana/dados", "csv", false, "/home/ana/dados.csv"},
        {"/home/ana/dados", "csv", true, "/home/ana/dados"},      // an existing file is taken as it is
        {"/dev/full", "csv", true, "/dev/full"},                  // so is a device
        {"/dev/ttyUSB9", "csv", false, "/dev/ttyUSB9.csv"},       // a name that is not there is a new file
        {"/home/ana/dados.txt", "csv", false, "/home/ana/dados.txt"},
        {"/home/ana/dados.csv", "csv", false, "/home/ana/dados.csv"},
        {"/home/ana/dados.", "csv", false, "/home/ana/dados."},    // no extension, on purpose
        {"/home/ana/.dados", "csv", false, "/home/ana/.dados"},
        {"/home/ana/v1.2/dados", "csv", false, "/home/ana/v1.2/dados.csv"},  // a dot in a folder's name
        {"dados", "png", false, "dados.png"},
        {"/home/ana/pasta/", "csv", false, "/home/ana/pasta/"},
        {"", "csv", false, ""},
        {"/home/ana/dados", "", false, "/home/ana/dados"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NameToWrite(QString::fromUtf8(c.typed), QString::fromUtf8(c.extension), c.exists).toStdString(),
                  c.name)
            << c.typed << " " << c.extension << (c.exists ? " (exists)" : "");
}

// The dialog itself, a name typed into its name box and Enter: what it
// hands back is the file that will be written.
TEST(FileNameDialog, TypedNamesGiveTheFileToWrite)
{
    TScratchDir dir;
    {
        std::ofstream(dir.File("semextensao")) << "antigo\n";
    }
    ASSERT_EQ(::symlink(dir.File("nada").c_str(), dir.File("atalho").c_str()), 0);
    struct Case { TFileKind kind; bool svg; std::string typed; std::string chosen; };
    const Case cases[] = {
        {TFileKind::Recording, false, "/dev/full", "/dev/full"},
        {TFileKind::Export, false, "/dev/null", "/dev/null"},
        {TFileKind::Recording, false, dir.File("nova"), dir.File("nova.csv")},
        {TFileKind::Recording, false, dir.File("semextensao"), dir.File("semextensao")},
        {TFileKind::Recording, false, dir.File("atalho"), dir.File("atalho")},
        {TFileKind::Export, false, dir.File("dados.txt"), dir.File("dados.txt")},
        {TFileKind::Image, false, dir.File("grafico"), dir.File("grafico.png")},
        {TFileKind::Image, true, dir.File("grafico"), dir.File("grafico.svg")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        TFileNameDialog dialog(nullptr, c.kind);
        // Replacing is Qt's own question, not what is looked at here.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        if (c.svg)
            dialog.selectNameFilter(QStringLiteral("Imagem SVG (*.svg)"));
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setFocus();
        name->selectAll();
        QTest::keyClicks(name, QString::fromStdString(c.typed));
        QTest::keyClick(name, Qt::Key_Return);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.isVisible(); }, 5000));
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(dialog.Chosen().toStdString(), c.chosen);
    }
}

// An export's dialog offers the program's own format first, then the two
// for spreadsheets; the type chosen is the format written.
TEST(FileNameDialog, TheTypeChosenIsTheExportFormat)
{
    TScratchDir dir;
    for (TExportFormat format : {TExportFormat::Recording, TExportFormat::SheetComma, TExportFormat::SheetBrazilian}) {
        TFileNameDialog dialog(nullptr, TFileKind::Export);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        ASSERT_EQ(dialog.nameFilters().size(), 4);
        EXPECT_EQ(dialog.nameFilters().first(), ExportNameFilter(TExportFormat::Recording));
        EXPECT_EQ(dialog.selectedNameFilter(), ExportNameFilter(TExportFormat::Recording));
        dialog.selectNameFilter(ExportNameFilter(format));
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setFocus();
        name->selectAll();
        QTest::keyClicks(name, QString::fromStdString(dir.File("dados")));
        QTest::keyClick(name, Qt::Key_Return);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.isVisible(); }, 5000));
        EXPECT_EQ(dialog.Chosen().toStdString(), dir.File("dados.csv"));
        EXPECT_EQ(dialog.ChosenFormat(), format);
    }
}

}  // namespace
