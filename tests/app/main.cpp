#include <gtest/gtest.h>

#include <QCoreApplication>

#include "core/http.h"

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    velmora::CurlGlobal curl;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
