// GoogleTest main for tests that need a QApplication (widgets, WebEngine,
// Qt Network). The application lives for the whole run, as in the program.
#include <QApplication>
#include <QtWebEngineCore/qtwebenginecoreglobal.h>
#include <gmock/gmock.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleMock(&argc, argv);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
