// The main of every GUI test: one application object for all its tests, on
// the offscreen platform unless the caller chose another.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                    : qgetenv("QT_QPA_PLATFORM"));
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vornakle"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
