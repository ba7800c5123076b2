#include "customization.h"


#include <QLocale>
#include <QSettings>

#include <clocale>

QString companyName;
QString productName;
QString applicationName;
bool viscosityMapping = false;

uint32_t deviceSerialNumber = 0;
QDateTime deviceFirmwareDate;


void readCustomization(QSettings &settings)
{
    settings.beginGroup("customization");
    companyName = settings.value("companyName", "Tarnwell").toString();
    productName = settings.value("productName", "QUVA").toString();
    applicationName = settings.value("applicationName", "QUVA-Explorer").toString();
    viscosityMapping = settings.value("viscosityMapping", false).toBool();
    settings.endGroup();
}

void useCLocale()
{
    QLocale locale(QLocale::C, QLocale::AnyCountry);
    locale.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    QLocale::setDefault(locale);
    std::setlocale(LC_ALL, "C");
}
