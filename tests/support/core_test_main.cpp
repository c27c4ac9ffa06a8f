// Runs the GoogleTest tests inside a QCoreApplication: the tests that need no window.

#include <QCoreApplication>

#include "support/qt_warnings.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    jackwell::testing::failOnQtWarnings();
    return RUN_ALL_TESTS();
}
