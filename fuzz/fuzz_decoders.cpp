// The register decoders: the live block under every firmware rule, the identity block,
// and the analog outputs, whose decoded settings must encode back to the same values.

#include "fuzzcheck.h"

#include "registermap.h"
#include "wordconversion.h"
#include "analogoutput.h"

#include <cmath>

namespace
{

const QDateTime firmwareDates[] = {
    QDateTime(),
    QDateTime(QDate(2023, 3, 19), QTime(23, 59, 59)),
    QDateTime(QDate(2023, 3, 20), QTime(0, 0)),
    QDateTime(QDate(2024, 2, 21), QTime(0, 0)),
    QDateTime(QDate(2024, 10, 8), QTime(0, 0)),
};
const QDateTime newest = firmwareDates[4];

const QStringList sources = {
    "None",    "kinematic Viscosity", "kinematic Viscosity mapped", "dynamic Viscosity",
    "Density", "Temperature"};

// Half a step of the coarsest scale, and a little for the binary fractions.
bool near(double a, double b, double scale)
{
    return std::fabs(a - b) <= scale / 2 + 1e-9;
}

void checkLiveBlock(const QVector<uint16_t> &words)
{
    for (const QDateTime &date : firmwareDates) {
        const LiveSample sample = decodeLiveBlock(words, date);
        const bool newNu = firmwareAtLeast(date, FirmwareGate::NuUint32);
        const uint32_t nuWord = newNu ? wordsToUint32(words.mid(8, 2)) : words[2];
        const bool nuMissing = newNu ? nuWord == NoValueUint32 : nuWord == NoValueUint16;
        FUZZ_CHECK(std::isnan(sample.nu) == nuMissing);
        FUZZ_CHECK(nuMissing || near(sample.nu, nuWord * (newNu ? 0.001 : 0.01), 1e-9));
        FUZZ_CHECK(std::isnan(sample.T) == (words[6] == NoValueInt16));
        FUZZ_CHECK(std::isnan(sample.T) || (sample.T >= -327.68 && sample.T <= 327.66));
        FUZZ_CHECK(std::isnan(sample.rho) || (sample.rho >= 0 && sample.rho <= 6553.4 + 1e-9));
        if (!firmwareAtLeast(date, FirmwareGate::Mapping))
            FUZZ_CHECK(std::isnan(sample.nuUc));
        FUZZ_CHECK(!std::isinf(sample.eta));
    }
}

void checkAnalogOutput(uint16_t code, uint16_t raw4, uint16_t raw20)
{
    const AnalogOutputSetting setting = decodeAnalogOutput(code, raw4, raw20);
    FUZZ_CHECK(sources.contains(setting.source));
    FUZZ_CHECK(analogUnit(setting.source) == "-" || setting.source != "None");
    if (setting.source == "None")
        return;
    const bool isSigned = setting.source == "Temperature";
    const std::optional<QVector<uint16_t>> words =
        encodeAnalogOutput(setting.source, setting.min, setting.max, newest);
    if (!words) {
        FUZZ_CHECK(isSigned && (setting.min > 300 || setting.max > 300));
        return;
    }
    // The code may change to another scale of the same quantity; the values may not.
    const AnalogOutputSetting again = decodeAnalogOutput((*words)[0], (*words)[1], (*words)[2]);
    FUZZ_CHECK(again.source == setting.source);
    FUZZ_CHECK(near(again.min, setting.min, 0.1) && near(again.max, setting.max, 0.1));
}

// Values as the settings panel's spin boxes give them: -100.0 to 5000.0, one decimal.
void checkEncoding(int sourceIndex, uint16_t minWord, uint16_t maxWord, int dateIndex)
{
    const double min = -100 + (minWord % 51001) / 10.0;
    const double max = -100 + (maxWord % 51001) / 10.0;
    const QString &source = sources[sourceIndex % sources.size()];
    const std::optional<QVector<uint16_t>> words =
        encodeAnalogOutput(source, min, max, firmwareDates[dateIndex % 5]);
    if (!words)
        return;
    FUZZ_CHECK(words->size() == 3);
    const AnalogOutputSetting setting = decodeAnalogOutput((*words)[0], (*words)[1], (*words)[2]);
    FUZZ_CHECK(setting.source == source);
    if (source != "None")
        FUZZ_CHECK(near(setting.min, min, 0.1) && near(setting.max, max, 0.1));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fixFuzzEnvironment();
    return 0;
}

// The input is read as big-endian words: the live block, the identity block, then
// analog output settings for as long as words remain.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QVector<uint16_t> words;
    for (size_t i = 0; i + 1 < size; i += 2)
        words.append(uint16_t(data[i] << 8 | data[i + 1]));
    if (words.size() < ReplyLength::Live)
        return 0;
    checkLiveBlock(words.mid(0, ReplyLength::Live));

    if (words.size() >= ReplyLength::Info) {
        const DeviceIdentity identity = decodeIdentity(words.mid(0, ReplyLength::Info));
        FUZZ_CHECK(identity.serialNumber == wordsToUint32(words.mid(2, 2)));
        FUZZ_CHECK(formatSerialNumber(identity.serialNumber).size() == 11);
        FUZZ_CHECK(formatDeviceDate(identity.firmwareDate).size() == 19);
    }
    for (int i = ReplyLength::Live; i + 3 <= words.size(); i += 3) {
        checkAnalogOutput(words[i] % 32, words[i + 1], words[i + 2]);
        checkEncoding(words[i] >> 8, words[i + 1], words[i + 2], words[i] >> 12);
    }
    return 0;
}
