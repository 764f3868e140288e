// The main of every test program: puts the test environment in place
// (headless Qt, a silent or capturing sound driver), then runs the tests,
// with a QApplication when the program draws.

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

#ifdef REELSCOPE_TEST_QT
#include <QApplication>
#endif

int main(int argc, char** argv)
{
    // REELSCOPE_TEST_ENV is "NAME=VALUE|NAME=VALUE..."; later entries win.
    std::istringstream all(REELSCOPE_TEST_ENV);
    for (std::string entry; std::getline(all, entry, '|');)
        if (const std::size_t eq = entry.find('='); eq != std::string::npos)
            ::setenv(entry.substr(0, eq).c_str(), entry.substr(eq + 1).c_str(), 1);
    ::testing::InitGoogleTest(&argc, argv);
#ifdef REELSCOPE_TEST_QT
    QApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
