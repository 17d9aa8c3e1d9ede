// quorlan: watches a web bulletin board for new posts with the user's search
// words, sharing the checks with every other client of the same board.
#include "app/Program.h"
#include "app/QuitOnSignal.h"

#include <QApplication>

int main(int argc, char** argv) {
    // The board window's web engine shares one GL context with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorlan"));
    // The program ends when the main window closes, not when the last visible
    // window goes (hiding to the notification area leaves none visible).
    QApplication::setQuitOnLastWindowClosed(false);
    quorlan::app::QuitOnSignal quitOnSignal;
    int result = 0;
    {
        quorlan::app::Program program;
        QObject::connect(&program.FrmMain(), &quorlan::shell::ui::TFrmMain::Closed, &application,
                         &QCoreApplication::quit, Qt::QueuedConnection);
        program.FrmMain().show();
        result = QApplication::exec();
    }
    return result;
}
