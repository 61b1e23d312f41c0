#include "WindowRun.h"

#include "OmbrixApp.h"
#include "SingleInstance.h"
#include "StatusNotifierItem.h"
#include "Symbols.h"

#include <QApplication>
#include <QList>
#include <QSystemTrayIcon>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

QtMessageHandler g_outerHandler = nullptr;
QList<std::pair<QtMsgType, QString>> g_heldMessages;

// Qt reports a missing display as a fatal error and aborts with a core dump and
// a page about plugins; the user needs one line and a plain failure status.
void whileStarting(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg && message.contains(QLatin1String("platform plugin"))) {
        std::fputs("ombrix: no display found (no X11 or Wayland session); "
                   "'ombrix --dump' works without one\n",
                   stderr);
        std::_Exit(1);
    }
    if (type == QtFatalMsg) {
        g_outerHandler(type, context, message);
        return;
    }
    g_heldMessages.append({type, message});
}

} // namespace

namespace ombrix {

void runWindow(int argc, char** argv, OmbrixApp::Options options) {
    // Before the application object: a second launch needs no display, and
    // never joins the accessibility bus only to vanish from it.
    ombrix::OmbrixApp* running = nullptr;
    ombrix::SingleInstance single(
        QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                      QStringLiteral("ombrix-instance")),
        [&running](const QString& token) {
            if (!token.isEmpty()) {
                qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8()); // Qt's Wayland activation reads it
            }
            if (running != nullptr) {
                running->openWindow();
            }
        });
    if (single.claim(std::chrono::seconds(5)) == ombrix::SingleInstance::Claim::Raised) {
        std::fflush(nullptr);
        std::_Exit(0); // the running one has the window, the icon and the notices
    }

    g_outerHandler = qInstallMessageHandler(whileStarting);
    QApplication app(argc, argv);
    qInstallMessageHandler(g_outerHandler);
    for (const auto& [type, message] : std::as_const(g_heldMessages)) {
        g_outerHandler(type, QMessageLogContext(), message);
    }
    g_heldMessages.clear();

    QApplication::setApplicationName(QStringLiteral("Ombrix"));
    QApplication::setOrganizationName(QStringLiteral("Ombrix"));
    QApplication::setApplicationVersion(QStringLiteral(OMBRIX_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("ombrix"));
    QApplication::setWindowIcon(ombrix::Symbols::appIcon());

    ombrix::OmbrixApp shell(std::move(options));
    running = &shell;
    shell.start();
    const int status = app.exec();
    single.release();

    // Quit must not wait for a sample's ps run or a daemon query that is still
    // in flight (the destructors would). The one setting is written when it
    // changes, so nothing is left to save; the tray icon goes first so that it
    // never outlives the windows on screen.
    if (QSystemTrayIcon* tray = shell.trayIcon()) {
        tray->hide();
    }
    if (const ombrix::StatusNotifierItem* item = shell.statusNotifierItem()) {
        item->flush(std::chrono::milliseconds(200));
    }
    std::fflush(nullptr);
    std::_Exit(status);
}

} // namespace ombrix
