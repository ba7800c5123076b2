#include "platformfile.h"

#include <QDir>

#include <windows.h>

bool replaceFile(const QString &source, const QString &target, QString &error)
{
    // rename() does not replace an existing file here; write-through returns once the
    // move is on the disk.
    const bool replaced =
        MoveFileExW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(source).utf16()),
                    reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(target).utf16()),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!replaced)
        error = qt_error_string(int(GetLastError()));
    return replaced;
}
