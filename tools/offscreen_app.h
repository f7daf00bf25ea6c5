// The program's toolkit and application object on the offscreen platform,
// with the program's resources: how the tests, the benchmark and the fuzzer
// run the real dialog without a display.
#pragma once

#include "platform/afx.h"

#include <QApplication>

class OffscreenApp {
public:
    OffscreenApp(int& argc, char** argv);

private:
    // Chooses the platform; it must come before the toolkit is made.
    struct OffscreenPlatform {
        OffscreenPlatform();
    } m_platform;
    QApplication m_toolkit;
    CWinApp m_app;
};
