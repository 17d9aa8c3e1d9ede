// quorlan: watches a web bulletin board for new posts with the user's search
// words, sharing the checks with every other client of the same board.
#include "app/Program.h"
#include "app/QuitOnSignal.h"
#include "net/ProgramVersion.h"

#include <QApplication>
#include <QQuickWindow>
#include <QSGRendererInterface>

#include <iostream>
#include <string_view>

int main(int argc, char** argv) {
    // The one argument the program answers: a sole --version prints the
    // version line before Qt starts. Any other command line is ignored.
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::cout << quorlan::net::ProgramVersion("quorlan") << "\n";
        return 0;
    }
    // The board window only shows and reads a board page: the engine draws in
    // software, so no OpenGL driver stack is loaded (on X11 not even to probe
    // it), runs one renderer process and none of a browser's background
    // services. Set here, before Qt starts, so no environment changes them.
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    qputenv("QT_XCB_GL_INTEGRATION", "none");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --renderer-process-limit=1 --disable-background-networking");
    // The program takes no command line: Qt and the web engine get only the
    // program's name, so no option of theirs can be slipped in either.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication application(qtArgc, qtArgv);
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
        if (!quitOnSignal.Requested()) result = QApplication::exec();
    }
    return result;
}
