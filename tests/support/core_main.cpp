// Test entry point for the display-free layers: a QCoreApplication and nothing more.
#include "support/test_support.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    nimbra::test::takeChildrenAlongOnDeath();
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
