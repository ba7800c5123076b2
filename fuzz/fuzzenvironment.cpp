#include "fuzzcheck.h"

#include <QLocale>

#include <clocale>
#include <ctime>

void fixFuzzEnvironment()
{
    setenv("TZ", "Europe/Berlin", 1);
    setenv("LC_ALL", "C", 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    tzset();
    std::setlocale(LC_ALL, "C");
    QLocale c(QLocale::C);
    c.setNumberOptions(QLocale::OmitGroupSeparator);
    QLocale::setDefault(c);
}
