#pragma once
// Command-line options of accel-sim. Qt-free.

#include "signal_generator.h"

#include <cstdint>
#include <string>

struct TSimOptions {
    double FrameRate = 320.0;   // frames per second (the device at 9600 baud)
    bool MaxRate = false;       // as fast as the line takes the bytes
    double FailureRate = 0.01;  // share of frames with a wrong check nibble
    double JunkRate = 0.0;      // share of frames preceded by 1..3 junk bytes
    bool Endless = true;        // send until interrupted
    uint64_t Frames = 0;        // otherwise this many (0: none at all)
    std::string Device;         // empty: a new pseudo-terminal
    std::string Link;           // new pty: keep a symbolic link to it here
    int Baud = 9600;            // line speed set on a given tty device
    bool WaitReader = false;    // new pty: start sending once the slave is opened
    std::string ExpectedFile;   // write the points the program should plot here
    uint32_t Seed = 1;
    // --pose: the device at rest in Pose, and poses read from standard
    // input while it runs.
    bool ReadPoses = false;
    TPose Pose = TPose::Moving;
    bool Help = false;
};

// Parses argv; throws Exception with a one-line message on a bad option.
TSimOptions ParseSimOptions(int argc, const char* const* argv);

std::string SimUsage(const std::string& program);
