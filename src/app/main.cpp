#include "app/customization.h"
#include "app/mainwindow.h"

#include <QApplication>
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
    QSettings settings("./gui_settings.ini", QSettings::IniFormat);
    readCustomization(settings);
    useCLocale();

    MainWindow window;
    window.show();
    return application.exec();
}
