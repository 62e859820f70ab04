// Telling a platform that does not exist from a display that is missing.
#include "display_check.h"

#include <gtest/gtest.h>

namespace {

TEST(DisplayCheck, RequestedPlatformsComeFromTheArgumentThenTheEnvironment)
{
    struct Case { QStringList arguments; QString environment; QStringList requested; };
    const Case cases[] = {
        {{}, "", {}},
        {{}, "offscreen", {"offscreen"}},
        {{"-platform", "nonexistent"}, "offscreen", {"nonexistent"}},
        {{"--platform", "nada"}, "", {"nada"}},
        {{"-platform", "a", "--start", "-platform", "b"}, "", {"b"}},  // Qt takes the last
        {{"-platform"}, "xcb", {"xcb"}},                             // no value: nothing asked by the argument
        {{}, "nonexistent:foo=1", {"nonexistent"}},
        {{}, "wayland;xcb", {"wayland", "xcb"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RequestedPlatforms(c.arguments, c.environment), c.requested)
            << c.arguments.join(' ').toStdString() << " / " << c.environment.toStdString();
}

TEST(DisplayCheck, UnknownPlatformsAreThoseQtDoesNotList)
{
    const QString qt = QStringLiteral(
        "Could not find the Qt platform plugin \"nonexistent\" in \"\"\n"
        "This application failed to start because no Qt platform plugin could be initialized. Reinstalling the "
        "application may fix this problem.\n\nAvailable platform plugins are: minimal, linuxfb, offscreen, xcb.\n");
    const QStringList available = AvailablePlatforms(qt);
    EXPECT_EQ(available, QStringList({"minimal", "linuxfb", "offscreen", "xcb"}));
    EXPECT_TRUE(AvailablePlatforms(QStringLiteral("could not connect to display")).isEmpty());

    struct Case { QStringList requested; QStringList available; QStringList unknown; };
    const Case cases[] = {
        {{"nonexistent"}, available, {"nonexistent"}},
        {{"xcb"}, available, {}},                 // there, only no display to connect to
        {{}, available, {}},                      // Qt's default
        {{"wayland", "xcb"}, available, {"wayland"}},
        {{"nonexistent"}, {}, {}},                // Qt listed nothing: cannot tell
    };
    for (const Case& c : cases)
        EXPECT_EQ(UnknownPlatforms(c.requested, c.available), c.unknown) << c.requested.join(';').toStdString();
}

}  // namespace
