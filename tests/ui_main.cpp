#include <QApplication>

#include <gtest/gtest.h>

// The window tests need one application object for the whole run; listing
// the tests needs none, and so no display or platform either.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
