#include "OmbrixApp.h"
#include "ProcessMonitor.h"
#include "Symbols.h"

#include <QApplication>

int main(int argc, char** argv) {
    // Decided before any application object exists: the dump needs no display.
    if (ombrix::OmbrixApp::isDumpRequest(argc, argv)) {
        QCoreApplication app(argc, argv);
        ombrix::ProcessMonitor::dumpOnce();
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ombrix"));
    QApplication::setOrganizationName(QStringLiteral("Ombrix"));
    QApplication::setApplicationVersion(QStringLiteral(OMBRIX_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("ombrix"));
    QApplication::setWindowIcon(ombrix::Symbols::appIcon());

    ombrix::OmbrixApp shell;
    shell.start();
    return app.exec();
}
