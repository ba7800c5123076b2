#include "app/customization.h"
#include "app/mainwindow.h"

#include <QApplication>
#include <QLocale>
#include <QSettings>

#include <clocale>
#include <cstdlib>

int main(int argc, char *argv[])
{
    // Without TZ glibc re-reads the zone file on every local-time conversion; naming
    // the same zone explicitly makes each conversion several times cheaper.
    if (!std::getenv("TZ"))
        setenv("TZ", ":/etc/localtime", 1);

    // Destroyed in reverse order: window, locale, settings, application.
    QApplication application(argc, argv);
    QSettings settings("./gui_settings.ini", QSettings::IniFormat);
    readCustomization(settings);

    QLocale locale(QLocale::C, QLocale::AnyCountry);
    locale.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    QLocale::setDefault(locale);
    std::setlocale(LC_ALL, "C");

    MainWindow window;
    window.show();
    return application.exec();
}
