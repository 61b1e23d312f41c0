// The windowed program, loaded by the launcher (main.cpp) only when no dump
// was asked for, so that the dump never maps the GUI libraries.

#include "OmbrixApp.h"
#include "Symbols.h"

#include <QApplication>

extern "C" __attribute__((visibility("default"))) int ombrix_window_main(int argc, char** argv) {
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
