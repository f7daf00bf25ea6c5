// Every test program runs the real widgets on the toolkit's offscreen platform
// under an application object named like the program.
#include "offscreen_app.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    OffscreenApp app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
