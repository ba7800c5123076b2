#include "recordinghead.h"

#include <QFileInfo>

QStringList recordingHeadLines(const QByteArray &start)
{
    QStringList lines;
    QByteArray bytes = start;
    if (bytes.startsWith("\xef\xbb\xbf"))
        bytes.remove(0, 3);
    int begin = 0;
    while (begin < bytes.size()) {
        const int end = bytes.indexOf('\n', begin);
        if (end < 0 || bytes.at(begin) != '#')
            break;
        const QString text =
            QString::fromUtf8(bytes.mid(begin + 1, end - begin - 1)).remove('\r').trimmed();
        if (!text.isEmpty())
            lines.append(text);
        begin = end + 1;
    }
    return lines;
}

QString recordingTitle(const QString &fileName, const QStringList &headLines)
{
    const QString name = QFileInfo(fileName).fileName();
    return headLines.isEmpty() ? name : name + QString::fromUtf8(" — ") + headLines.first();
}
