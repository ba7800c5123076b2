#ifndef CUSTOMIZATION_H
#define CUSTOMIZATION_H

#include <QDateTime>
#include <QString>

#include <cstdint>

class QSettings;

// Values that let one build carry another company's, product's and application's
// name; read once at start-up from the [customization] group and fixed afterwards.
extern QString companyName;
extern QString productName;
extern QString applicationName;
extern bool viscosityMapping;

// Process-wide facts about the connected sensor. deviceSerialNumber is 0 while no
// sensor has identified itself; an invalid deviceFirmwareDate compares as earlier
// than every firmware gate.
extern uint32_t deviceSerialNumber;
extern QDateTime deviceFirmwareDate;


// Reads the four customization values from the [customization] group of settings,
// taking the defaults for missing keys. Nothing is written back.
void readCustomization(QSettings &settings);

// Makes the C locale without group separators the default for Qt and the C runtime,
// so numbers read and write with a decimal point whatever the system's settings.
void useCLocale();

#endif
