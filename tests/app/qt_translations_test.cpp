// Qt's own buttons and dialogs read in Portuguese once the program has
// loaded Qt's translations, as it does at start-up.
#include "qt_translations.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTranslator>

#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(QtTranslations, QtsOwnButtonsReadInPortuguese)
{
    std::unique_ptr<QTranslator> translations(InstallQtTranslations(*QCoreApplication::instance()));
    ASSERT_NE(translations, nullptr);
    QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Save);
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text().toStdString(), "Cancelar");
    EXPECT_EQ(box.button(QDialogButtonBox::Save)->text().toStdString(), "Salvar");
    // The other tests see Qt as it was.
    QCoreApplication::removeTranslator(translations.get());
}

}  // namespace
