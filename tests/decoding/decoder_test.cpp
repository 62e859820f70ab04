#include "frame_decoder.h"
#include <gtest/gtest.h>
TEST(Placeholder, Builds) { SUCCEED(); }
