#include "app/customization.h"
#include "app/mainwindow.h"

#include "settings/serialportlist.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QSettings>

#include <cstdlib>

int main(int argc, char *argv[])
{
    // Without TZ glibc re-reads the zone file on every local-time conversion; naming
    // the same zone explicitly makes each conversion several times cheaper.
    if (!std::getenv("TZ"))
        setenv("TZ", ":/etc/localtime", 1);

    // Destroyed in reverse order: window, settings, application.
    QApplication application(argc, argv);
    QApplication::setApplicationVersion(QUVA_VERSION);
    QSettings settings("./gui_settings.ini", QSettings::IniFormat);
    readCustomization(settings);

    QCommandLineParser parser;
    parser.setApplicationDescription("Service and monitoring tool for the " + productName +
                                     " sensor.");
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(
        "port", "Also offer the serial port PATH, which the system does not list (repeatable).",
        "PATH");
    parser.addOption(portOption);
    parser.process(application);
    setUserGivenPorts(parser.values(portOption));
    useCLocale();

    MainWindow window;
    window.show();
    return application.exec();
}
