#pragma once
// What every test program shares: the test movies' folder, and Qt's wait
// for a condition (QTest::qWaitFor), which delivers Qt's events, deleted
// objects included, while it waits.

#include <QtCore/qtestsupport_core.h>
#include <string>

namespace testsupport {

inline std::string MoviePath(const std::string& name)
{
    return std::string(TEST_MOVIE_DIR) + "/" + name;
}

}  // namespace testsupport
