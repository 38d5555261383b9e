// Test entry point for tests that paint or open windows. The platform plugin comes from
// QT_QPA_PLATFORM: `offscreen` for the ui label, the harness's X server for integration, or a
// harness of the case's own for the suites that ask for one.
#include "support/test_support.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Taken before gtest removes its own flags: a case that starts again in a harness of its own
    // gets the same arguments.
    const std::vector<std::string> arguments(argv, argv + argc);
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests (ctest's discovery) needs no display.
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
    nimbra::test::enterOwnHarnessWhenAsked(arguments, GTEST_FLAG_GET(filter));
    nimbra::test::takeChildrenAlongOnDeath();
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
