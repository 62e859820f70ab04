#include "sim_options.h"

#include "exception.h"

#include <cstdlib>
#include <cerrno>

namespace {

double ParseRate(const std::string& option, const std::string& text)
{
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !(v >= 0.0 && v <= 1.0))
        throw Exception(option + ": expected a number from 0 to 1, got '" + text + "'");
    return v;
}

uint64_t ParseCount(const std::string& option, const std::string& text, uint64_t max)
{
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || text[0] == '-' || *end != '\0' || errno != 0 || v > max)
        throw Exception(option + ": expected a whole number, got '" + text + "'");
    return v;
}

} // namespace

TSimOptions ParseSimOptions(int argc, const char* const* argv)
{
    TSimOptions o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw Exception(arg + ": missing value");
            return argv[++i];
        };
        if (arg == "-h" || arg == "--help") {
            o.Help = true;
        } else if (arg == "--rate") {
            const std::string v = value();
            if (v == "max") {
                o.MaxRate = true;
            } else {
                char* end = nullptr;
                const double r = std::strtod(v.c_str(), &end);
                if (v.empty() || *end != '\0' || !(r > 0.0 && r <= 1e7))
                    throw Exception("--rate: expected frames per second or 'max', got '" + v + "'");
                o.FrameRate = r;
                o.MaxRate = false;
            }
        } else if (arg == "--failure-rate") {
            o.FailureRate = ParseRate(arg, value());
        } else if (arg == "--junk-rate") {
            o.JunkRate = ParseRate(arg, value());
        } else if (arg == "--frames") {
            o.Frames = ParseCount(arg, value(), UINT64_MAX);
            o.Endless = false;
        } else if (arg == "--endless") {
            o.Endless = true;
        } else if (arg == "--device") {
            o.Device = value();
        } else if (arg == "--pty") {
            o.Device.clear();
        } else if (arg == "--link") {
            o.Link = value();
            if (o.Link.empty())
                throw Exception("--link: expected a path, got ''");
        } else if (arg == "--baud") {
            o.Baud = int(ParseCount(arg, value(), 4000000));
        } else if (arg == "--wait-reader") {
            o.WaitReader = true;
        } else if (arg == "--expected") {
            o.ExpectedFile = value();
        } else if (arg == "--pose") {
            const std::string v = value();
            if (!ParsePose(v, o.Pose))
                throw Exception("--pose: expected +x, -x, +y, -y, +z, -z or none, got '" + v + "'");
            o.ReadPoses = true;
        } else if (arg == "--seed") {
            o.Seed = uint32_t(ParseCount(arg, value(), UINT32_MAX));
        } else {
            throw Exception("unknown option '" + arg + "' (see --help)");
        }
    }
    if (!o.Link.empty() && !o.Device.empty())
        throw Exception("--link goes with a new pty, not with --device");
    if (!o.ExpectedFile.empty() && o.Endless)
        throw Exception("--expected needs --frames N (an endless stream has no end to write)");
    return o;
}

std::string SimUsage(const std::string& program)
{
    return "Usage: " + program + " [options]\n"
        "Plays the three-axis accelerometer: sends its 3-byte axis frames\n"
        "(tag 0x78/0x79/0x7A, check nibble, 12-bit value) to a serial line.\n"
        "\n"
        "Options:\n"
        "  --rate N|max        frames per second (default 320, the device at\n"
        "                      9600 baud 8N1), or 'max': as fast as the line\n"
        "                      takes them; junk bytes take line time too\n"
        "  --failure-rate F    share of frames whose check fails, 0..1 (default 0.01)\n"
        "  --junk-rate F       share of frames preceded by 1..3 junk bytes that\n"
        "                      are never tags, 0..1 (default 0)\n"
        "  --frames N          send N frames, then stop (0: send nothing;\n"
        "                      default: endless)\n"
        "  --endless           send until interrupted (the default)\n"
        "  --pty               write to a new pseudo-terminal and print its\n"
        "                      slave path on stdout (the default)\n"
        "  --link PATH         with a new pty: keep a symbolic link at PATH to it,\n"
        "                      so that a restarted simulator is found on the same\n"
        "                      path (an old link there is replaced; removed on\n"
        "                      exit unless a newer run has taken it over)\n"
        "  --device PATH       write to PATH instead (a tty is set raw, --baud 8N1)\n"
        "  --baud N            line speed set on --device (default 9600)\n"
        "  --wait-reader       with a new pty: start sending once the slave is open\n"
        "  --expected FILE     write the points the program should plot, one\n"
        "                      'axis value' line each (X|Y|Z); needs --frames;\n"
        "                      a file that cannot be written ends the tool\n"
        "                      with status 1\n"
        "  --seed N            seed of signal, failures and junk (default 1)\n"
        "  --pose P            the device lies at rest with an axis pointing up or\n"
        "                      down: +x, -x, +y, -y, +z or -z (none: the moving\n"
        "                      signal). The axis up reads its zero plus its counts\n"
        "                      per g, the one down its zero minus them, the others\n"
        "                      their zero, with noise of 2 counts and no vibration:\n"
        "                      zero X 2041, Y 2056, Z 2049; counts per g X 404,\n"
        "                      Y 397, Z 409. With --pose, lines on standard input\n"
        "                      change the pose while it runs: type +x, -z, none...\n"
        "  -h, --help          show this text\n"
        "\n"
        "With a new pty, after a finite stream the tool waits until the reader\n"
        "closes the slave, so no byte is lost. Interrupt (Ctrl+C) to stop.\n";
}
