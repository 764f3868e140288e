// The main of every test program: puts the test environment in place
// (headless Qt, a silent or capturing sound driver), then runs the tests,
// with a QApplication when the program draws.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#ifdef REELSCOPE_TEST_QT
#include <QApplication>
#endif

namespace {

// REELSCOPE_TEST_ENV is "NAME=VALUE|NAME=VALUE..."; later entries win.
void SetTestEnvironment()
{
    const std::string all = REELSCOPE_TEST_ENV;
    std::size_t start = 0;
    while (start < all.size()) {
        std::size_t end = all.find('|', start);
        if (end == std::string::npos) end = all.size();
        const std::string entry = all.substr(start, end - start);
        if (const std::size_t eq = entry.find('='); eq != std::string::npos)
            ::setenv(entry.substr(0, eq).c_str(), entry.substr(eq + 1).c_str(), 1);
        start = end + 1;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    SetTestEnvironment();
    ::testing::InitGoogleTest(&argc, argv);
#ifdef REELSCOPE_TEST_QT
    QApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
