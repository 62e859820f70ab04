// main() for GoogleTest suites of the parts without widgets: an event loop
// and no more, so that a widget they needed would not even link.
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
