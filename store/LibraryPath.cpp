#include "store/LibraryPath.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace {

QString libraryFileName()
{
#if defined(Q_OS_WIN)
    return QStringLiteral("kovadel.dll");
#else
    return QStringLiteral("libkovadel.so");
#endif
}

// The directory of the running program, or empty when it cannot be told.
QString executableDirectory()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
#if defined(Q_OS_LINUX)
    const QString target = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (!target.isEmpty())
        return QFileInfo(target).absolutePath();
#endif
    return QString();
}

// Where an installed copy keeps the library: relative to the program's folder
// (bin/../lib/velkindex), and the folder it was installed to. The build sets
// both (packaging/install.cmake).
#ifndef VELK_LIBRARY_DIR_FROM_PROGRAM
#define VELK_LIBRARY_DIR_FROM_PROGRAM "../lib/velkindex"
#endif

} // namespace

QString defaultKovadelLibraryPath()
{
    QStringList candidates;
    const QString directory = executableDirectory();
    if (!directory.isEmpty()) {
        candidates << QDir(directory).filePath(libraryFileName());
        candidates << QDir::cleanPath(
            QDir(directory).filePath(QStringLiteral(VELK_LIBRARY_DIR_FROM_PROGRAM "/") + libraryFileName()));
    }
#ifdef VELK_INSTALLED_LIBRARY_DIR
    candidates << QDir(QStringLiteral(VELK_INSTALLED_LIBRARY_DIR)).filePath(libraryFileName());
#endif
    for (const QString& candidate : candidates) {
        if (QFileInfo::exists(candidate))
            return candidate;
    }
    return libraryFileName();
}
