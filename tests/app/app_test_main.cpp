// main() for the window's tests: the real application object, headless,
// with error reports collected instead of shown in message boxes.
#include "app_test_support.h"
#include "tapplication.h"

#include <gtest/gtest.h>

QStringList g_reported;

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    TApplication application(argc, argv);
    application.Initialize();
    application.SetReporter([](const QString& message) { g_reported << message; });
    return RUN_ALL_TESTS();
}
