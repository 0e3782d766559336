#include "app/AboutBox.h"
#include "app/MainForm.h"
#include "sim/Simulator.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tidewright"));
    QApplication::setApplicationVersion(TAboutBox::ProgramVersion());
    QApplication::setWindowIcon(TAboutBox::ProgramIcon());
    // The desktop entry the window belongs to, for its icon and name on Wayland.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.kelvane.Tidewright"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Configures and watches a Corvanta-PX NMEA data multiplexer."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption connectOption(
        QStringLiteral("connect"),
        QStringLiteral("Connect at start: tcp:HOST[:PORT], udp:HOST[:PORT], udp-all:HOST[:PORT] "
                       "or serial:DEVICE."),
        QStringLiteral("link"));
    const QCommandLineOption simulatorOption(
        QStringLiteral("simulator"),
        QStringLiteral("Start the built-in simulated multiplexer and connect to it (the saved "
                       "settings stay as they are)."));
    const QCommandLineOption screenshotOption(
        QStringLiteral("screenshot"),
        QStringLiteral("Save a PNG picture of the window once the configuration has been read "
                       "(or after 5 s without a link), then quit."),
        QStringLiteral("file"));
    const QCommandLineOption navDBOption(
        QStringLiteral("navdb"),
        QStringLiteral("Show the Tools menu entry \"Show Navigation Database\", which is hidden "
                       "otherwise."));
    const QCommandLineOption tabOption(
        QStringLiteral("tab"),
        QStringLiteral("Show the configuration tab with this title (e.g. \"Options\") at start."),
        QStringLiteral("title"));
    parser.addOptions({connectOption, simulatorOption, screenshotOption, navDBOption, tabOption});
    parser.process(app);

    std::optional<TLinkTarget> target;
    if (parser.isSet(connectOption)) {
        try {
            target = ParseLinkUrl(parser.value(connectOption));
        } catch (const EError& e) {
            std::fprintf(stderr, "%s\n", qPrintable(e.Message()));
            return 2;
        }
    }

    // Declared before the window so that the window, and its link, go first.
    std::unique_ptr<TSimulator> simulator;
    if (parser.isSet(simulatorOption)) {
        TLinkTarget link;
        try {
            simulator = StartBuiltInSimulator(link);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "Unable to start the simulator: %s\n", e.what());
            return 1;
        }
        target = link;
    }

    TMainForm form;
    if (simulator)
        form.SetPersistSettings(false);
    if (parser.isSet(navDBOption))
        form.ShowNavDBEntry();
    if (parser.isSet(tabOption) && !form.ShowTab(parser.value(tabOption))) {
        std::fprintf(stderr, "No tab \"%s\"\n", qPrintable(parser.value(tabOption)));
        return 2;
    }
    form.show();
    if (parser.isSet(screenshotOption))
        form.ScreenshotWhenReady(parser.value(screenshotOption));
    if (target)
        QTimer::singleShot(0, &form, [&form, link = *target] { form.ConnectTo(link); });
    return app.exec();
}
