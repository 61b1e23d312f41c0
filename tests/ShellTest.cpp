#include "CommandLine.h"
#include "DumpRequest.h"
#include "FakeMonitor.h"
#include "MainWindow.h"
#include "MenuBarLabel.h"
#include "OmbrixApp.h"
#include "PathMaskSetting.h"
#include "TrayHost.h"
#include "TrayPanel.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>

using namespace ombrix;
using ombrix::testing::FakeMonitor;

namespace {

struct Counters {
    int monitors = 0;
    int updateChecks = 0;
    int quits = 0;
};

OmbrixApp::Options options(Counters& counters, bool tray) {
    OmbrixApp::Options o;
    o.makeMonitor = [&counters]() -> std::unique_ptr<MonitorState> {
        ++counters.monitors;
        return std::make_unique<FakeMonitor>();
    };
    o.trayAvailable = tray;
    o.checkForUpdates = [&counters] { ++counters.updateChecks; };
    o.quit = [&counters] { ++counters.quits; };
    return o;
}

QStringList actionTexts(const QList<QAction*>& actions) {
    QStringList texts;
    for (QAction* a : actions) {
        if (!a->isSeparator()) {
            texts << a->text();
        }
    }
    return texts;
}

} // namespace

TEST(Shell, DumpRequestIsOneExactArgument) {
    struct Row {
        const char* name;
        std::vector<const char*> argv;
        bool dump;
    };
    const Row rows[] = {
        {"alone", {"ombrix", "--dump"}, true},
        {"among others", {"ombrix", "-v", "--dump", "x"}, true},
        {"no arguments", {"ombrix"}, false},
        {"with a value", {"ombrix", "--dump=1"}, false},
        {"prefix", {"ombrix", "--dumpx"}, false},
        {"single dash", {"ombrix", "-dump"}, false},
        {"program name itself", {"--dump"}, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(isDumpRequest(static_cast<int>(row.argv.size()), row.argv.data()), row.dump)
            << row.name;
    }
}

TEST(Shell, CommandLineChoosesOneCommand) {
    using CommandLine::Command;
    struct Row {
        const char* name;
        std::vector<const char*> argv;
        Command command;
        const char* error = "";
    };
    const Row rows[] = {
        {"nothing opens the window", {"ombrix"}, Command::Window},
        {"qt options are the window's", {"ombrix", "-platform", "offscreen", "x"}, Command::Window},
        {"leftovers", {"ombrix", "-style", "fusion", "--leftovers"}, Command::Leftovers},
        {"end leftovers", {"ombrix", "--end-leftovers"}, Command::EndLeftovers},
        {"repeated is still one", {"ombrix", "--help", "--help"}, Command::Help},
        {"version", {"ombrix", "--version"}, Command::Version},
        {"unknown",
         {"ombrix", "--leftover"},
         Command::UsageError,
         "ombrix: unknown option '--leftover'"},
        {"no value taken",
         {"ombrix", "--help=1"},
         Command::UsageError,
         "ombrix: unknown option '--help=1'"},
        {"two commands",
         {"ombrix", "--leftovers", "--end-leftovers"},
         Command::UsageError,
         "ombrix: --leftovers and --end-leftovers cannot be used together"},
        {"dump wins over all",
         {"ombrix", "--help", "--bogus", "--dump", "--leftovers"},
         Command::Dump},
    };
    for (const Row& row : rows) {
        const auto request = CommandLine::parse(static_cast<int>(row.argv.size()), row.argv.data());
        EXPECT_EQ(request.command, row.command) << row.name;
        EXPECT_EQ(request.error, row.error) << row.name;
    }
}

TEST(Shell, MonitorIsCreatedOnceWhenTheScenesAreBuilt) {
    Counters counters;
    OmbrixApp app(options(counters, false));
    EXPECT_FALSE(app.hasMonitor());
    EXPECT_EQ(counters.monitors, 0);
    app.start();
    app.start();
    MonitorState* first = &app.monitor();
    EXPECT_EQ(first, &app.monitor());
    EXPECT_EQ(counters.monitors, 1);
}

TEST(Shell, WithoutATrayTheWindowOpensAndClosingItQuits) {
    struct Row {
        const char* name;
        bool tray, windowAtStart, quitOnClose;
    };
    const Row rows[] = {
        {"tray", true, false, false},
        {"no tray", false, true, true},
    };
    for (const Row& row : rows) {
        Counters counters;
        OmbrixApp app(options(counters, row.tray));
        app.start();
        EXPECT_EQ(app.mainWindow()->isVisible(), row.windowAtStart) << row.name;
        EXPECT_EQ(QApplication::quitOnLastWindowClosed(), row.quitOnClose) << row.name;
        EXPECT_EQ(app.trayIcon() != nullptr, row.tray) << row.name;
        EXPECT_EQ(app.panel() != nullptr, row.tray) << row.name;
    }
}

TEST(Shell, OnlyARegisteredHostGetsTheItemElseTheProgramStaysInReach) {
    using TrayHost::Face;
    const QDBusMessage get =
        QDBusMessage::createMethodCall("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                                       "org.freedesktop.DBus.Properties", "Get");
    const auto answer = [&](const QVariant& v) {
        return get.createReply(QVariant::fromValue(QDBusVariant(v)));
    };
    struct Row {
        const char* name;
        QDBusMessage reply;
        bool xembed;
        Face face;
    };
    const Row rows[] = {
        {"a host", answer(true), false, Face::Item},
        {"a watcher without a host", answer(false), true, Face::TrayIcon},
        {"a watcher without a host, no tray", answer(false), false, Face::Window},
        {"no watcher", get.createErrorReply(QDBusError::ServiceUnknown, ""), false, Face::Window},
        {"not a variant", get.createReply(true), false, Face::Window},
        {"not a boolean", answer("true"), false, Face::Window},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(TrayHost::face(TrayHost::hostRegistered(row.reply), row.xembed), row.face)
            << row.name;
    }
}

TEST(Shell, MainWindowHasItsNameSizeAndMenu) {
    Counters counters;
    OmbrixApp app(options(counters, false));
    app.start();
    MainWindow* window = app.mainWindow();
    EXPECT_EQ(window->objectName(), "main");
    EXPECT_EQ(window->minimumSize(), QSize(820, 380));
    EXPECT_EQ(window->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    window->resize(300, 200);
    EXPECT_GE(window->width(), 820);
    EXPECT_GE(window->height(), 380);

    const QList<QAction*> menus = window->menuBar()->actions();
    ASSERT_EQ(menus.size(), 1);
    EXPECT_EQ(actionTexts(menus.front()->menu()->actions()),
              QStringList({QApplication::applicationName().prepend("About "),
                           QString::fromUtf8("Check for Updates\u2026"), "Quit"}));
}

TEST(Shell, BothUpdateCommandsAndBothQuitsReachTheSameHandlers) {
    Counters counters;
    OmbrixApp app(options(counters, true));
    app.start();
    QMenu* menu = app.mainWindow()->menuBar()->actions().front()->menu();
    for (QAction* a : menu->actions()) {
        if (a->text().startsWith("Check for Updates") || a->text() == "Quit") {
            a->trigger();
        }
    }
    for (QAction* a : app.trayMenu()->actions()) {
        if (a->text().startsWith("Check for Updates") || a->text() == "Quit") {
            a->trigger();
        }
    }
    EXPECT_EQ(counters.updateChecks, 2);
    EXPECT_EQ(counters.quits, 2);
    EXPECT_EQ(actionTexts(app.trayMenu()->actions()),
              QStringList({"No Dart Processes", "Open Window",
                           QString::fromUtf8("Check for Updates\u2026"), "Quit"}));
}

TEST(Shell, ClosedWindowOpensAgainAsTheSameWindow) {
    Counters counters;
    OmbrixApp app(options(counters, true));
    app.start();
    MainWindow* window = app.mainWindow();
    app.openWindow();
    EXPECT_TRUE(window->isVisible());
    window->close();
    EXPECT_FALSE(window->isVisible());
    app.openWindow();
    EXPECT_EQ(app.mainWindow(), window);
    EXPECT_TRUE(window->isVisible());
}

TEST(Shell, TrayTitleFollowsTheTotalMemory) {
    Counters counters;
    OmbrixApp app(options(counters, true));
    app.start();
    auto& monitor = static_cast<FakeMonitor&>(app.monitor());
    EXPECT_EQ(app.trayIcon()->toolTip(), "Zero KB");
    EXPECT_FALSE(app.trayIcon()->icon().isNull());
    monitor.setProcesses({ombrix::testing::process(10, "Analyzer", 0, 1342177280),
                          ombrix::testing::process(11, "DDS", 0, 0)});
    EXPECT_EQ(app.trayIcon()->toolTip(), "1.25 GB");
    auto left = ombrix::testing::process(12, "Analyzer", 0, 300ull << 20);
    left.leftover = true;
    monitor.setProcesses({ombrix::testing::process(10, "Analyzer", 0, 1342177280), left});
    EXPECT_EQ(app.trayIcon()->toolTip(), "1.54 GB\n1 leftover \u00b7 300 MB");
    monitor.setProcesses({});
    EXPECT_EQ(app.trayIcon()->toolTip(), "Zero KB");
}

namespace {

double luminance(QColor c) {
    auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

// Pixels of `icon` that stand out from `panel` by a contrast of 3:1 or more.
int visiblePixels(const QIcon& icon, int side, QColor panel) {
    QImage on(side, side, QImage::Format_RGB32);
    on.fill(panel);
    QPainter(&on).drawPixmap(0, 0, icon.pixmap(side, side));
    const double back = luminance(panel);
    int count = 0;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const double l = luminance(on.pixelColor(x, y));
            count += (std::max(l, back) + 0.05) / (std::min(l, back) + 0.05) >= 3.0;
        }
    }
    return count;
}

} // namespace

TEST(Shell, TrayIconStandsOutOnDarkAndLightPanels) {
    Counters counters;
    OmbrixApp app(options(counters, true));
    app.start();
    const QIcon icon = app.trayIcon()->icon();
    for (const int side : {16, 22, 32}) {
        for (const QColor panel : {QColor(0x2b, 0x2b, 0x2b), QColor(0xf2, 0xf2, 0xf2)}) {
            EXPECT_GE(visiblePixels(icon, side, panel), side * side / 8)
                << side << " px on " << panel.name().toStdString();
        }
    }

    // Where the theme carries the symbolic icon, the tray is given its name.
    QTemporaryDir theme;
    QDir(theme.path()).mkpath("hicolor/symbolic/apps");
    QFile index(theme.filePath("hicolor/index.theme"));
    ASSERT_TRUE(index.open(QIODevice::WriteOnly));
    index.write("[Icon Theme]\nName=hicolor\nDirectories=symbolic/apps\n\n"
                "[symbolic/apps]\nSize=16\nMinSize=8\nMaxSize=512\nType=Scalable\n");
    index.close();
    ASSERT_TRUE(QFile::copy(OMBRIX_SOURCE_DIR "/src/desktop/icons/ombrix-tray-symbolic.svg",
                            theme.filePath("hicolor/symbolic/apps/ombrix-tray-symbolic.svg")));
    const QStringList paths = QIcon::themeSearchPaths();
    const QString name = QIcon::themeName();
    QIcon::setThemeSearchPaths({theme.path()});
    QIcon::setThemeName("hicolor");
    EXPECT_EQ(MenuBarLabel::trayIcon().name(), QLatin1String(MenuBarLabel::symbolicIconName));
    QIcon::setThemeName(name);
    QIcon::setThemeSearchPaths(paths);
}

TEST(Shell, OneRightClickOnTheIconOpensItsMenuWhileThePanelIsOpen) {
    Counters counters;
    OmbrixApp app(options(counters, true));
    app.start();
    const QRect icon(700, 0, 24, 24);
    struct Click {
        const char* name;
        Qt::MouseButton button;
        QPoint at;
        bool menu;
    };
    const Click clicks[] = {
        {"right on the icon", Qt::RightButton, icon.center(), true},
        {"right elsewhere", Qt::RightButton, {20, 590}, false},
        {"left on the icon", Qt::LeftButton, icon.center(), false},
    };
    for (const Click& c : clicks) {
        app.panel()->popUp(icon, {});
        ASSERT_TRUE(QTest::qWaitForWindowExposed(app.panel())) << c.name;
        // Pressed again until the opening click has settled.
        EXPECT_TRUE(QTest::qWaitFor([&] {
            QTest::mousePress(app.panel(), c.button, {}, app.panel()->mapFromGlobal(c.at));
            return !app.panel()->isVisible();
        })) << c.name;
        EXPECT_EQ(app.trayMenu()->isVisible(), c.menu) << c.name;
        app.trayMenu()->hide();
    }
}

TEST(Shell, WhatTheOpeningClickStillBringsLeavesThePanelOpen) {
    FakeMonitor monitor;
    PathMaskSetting hidePaths;
    qint64 now = 0;
    TrayPanel panel(monitor, hidePaths, {}, nullptr, [&now] { return now; });
    const QPoint icon(700, 10);
    struct Aftermath {
        const char* name;
        std::function<void()> arrive;
    };
    const Aftermath rows[] = {
        {"the tray activates the item again", [&] { panel.toggle({}, icon); }},
        {"a press elsewhere held by the grab",
         [&] {
             QTest::mousePress(&panel, Qt::LeftButton, {}, panel.mapFromGlobal(QPoint(20, 590)));
         }},
    };
    for (const Aftermath& row : rows) {
        panel.toggle({}, icon);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel)) << row.name;
        now += TrayPanel::settleMs - 1;
        row.arrive();
        EXPECT_TRUE(panel.isVisible()) << row.name;
        now += 1; // the user's own next click
        row.arrive();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !panel.isVisible(); })) << row.name;
    }
}

TEST(Shell, PanelIsAFixedFramelessPopup) {
    Counters counters;
    OmbrixApp app(options(counters, true));
    app.start();
    TrayPanel* panel = app.panel();
    EXPECT_EQ(panel->size(), QSize(540, 470));
    EXPECT_EQ(panel->minimumSize(), panel->maximumSize());
    EXPECT_TRUE(panel->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(panel->windowType(), Qt::Popup);
    EXPECT_NE(panel->findChild<QAbstractButton*>("Open Window"), nullptr)
        << "the compact form, with its footer";
}

TEST(Shell, PanelPlacementStaysBesideTheIconAndOnScreen) {
    const QRect screen(0, 0, 1920, 1080);
    const QSize size(540, 470);
    struct Row {
        const char* name;
        QRect anchor;
        QPoint cursor;
        QPoint expected;
        QRect bar; // the desktop panel holding the icon, where known
    };
    const Row rows[] = {
        {"top bar, middle", QRect(1000, 0, 24, 24), {}, QPoint(741, 28), {}},
        {"top bar, right corner", QRect(1890, 0, 24, 24), {}, QPoint(1380, 28), {}},
        {"bottom bar, left corner", QRect(4, 1050, 24, 30), {}, QPoint(0, 576), {}},
        {"no geometry: at the cursor", QRect(), QPoint(500, 10), QPoint(230, 15), {}},
        {"no geometry, cursor low", QRect(), QPoint(1900, 1070), QPoint(1380, 596), {}},
        {"click in a top bar", QRect(), QPoint(500, 15), QPoint(230, 35), QRect(0, 0, 1920, 31)},
        {"click in a bottom bar", QRect(), QPoint(700, 1060), QPoint(430, 576),
         QRect(0, 1050, 1920, 30)},
        {"click in a left bar", QRect(), QPoint(15, 500), QPoint(35, 265), QRect(0, 0, 31, 1080)},
        {"click low in a right bar", QRect(), QPoint(1905, 1000), QPoint(1345, 610),
         QRect(1889, 0, 31, 1080)},
        {"icon in a tall top bar",
         QRect(1000, 4, 24, 24),
         {},
         QPoint(741, 52),
         QRect(0, 0, 1920, 48)},
    };
    for (const Row& row : rows) {
        const QPoint at = TrayPanel::placement(row.anchor, row.cursor, screen, size, row.bar);
        EXPECT_EQ(at, row.expected) << row.name;
        EXPECT_TRUE(screen.contains(QRect(at, size))) << row.name;
    }
    // A screen smaller than the panel pins it to the corner rather than off screen.
    EXPECT_EQ(TrayPanel::placement(QRect(100, 0, 10, 10), {}, QRect(0, 0, 400, 300), size),
              QPoint(0, 0));
}
