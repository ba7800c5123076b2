#include "testfiles.h"

#include "settingsfile.h"
#include "wordconversion.h"

#include <QFile>
#include <QTest>

void addExportFormatRows()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("csv") << "csv";
    QTest::newRow("xlsx") << "xlsx";
}

QByteArray readFile(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &fileName, const QByteArray &bytes)
{
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

void removeSettingsFile()
{
    QFile::remove(QString::fromLatin1(SettingsFile::path));
}

QVector<uint16_t> littleEndianWords(const QByteArray &bytes)
{
    QVector<uint16_t> words;
    for (int i = 0; i + 1 < bytes.size(); i += 2)
        words.append(uint16_t(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8));
    return words;
}

QByteArray littleEndianBytes(const QVector<uint16_t> &words)
{
    QByteArray bytes;
    for (uint16_t word : words) {
        bytes.append(char(word & 0xFF));
        bytes.append(char(word >> 8));
    }
    return bytes;
}

QByteArray calibrationImage(uint16_t testValue, uint32_t serial, const QDateTime &date,
                            uint16_t fill)
{
    QVector<uint16_t> words(203, fill);
    words[0] = testValue;
    words[2] = uint16_t(serial >> 16);
    words[3] = uint16_t(serial);
    const QVector<uint16_t> dateWords = uint32ToWords(uint32_t(date.toSecsSinceEpoch()));
    words[144] = dateWords[0];
    words[145] = dateWords[1];
    return littleEndianBytes(words);
}
