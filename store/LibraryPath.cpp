#include "store/LibraryPath.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#if defined(Q_OS_WIN)
#include <windows.h>
#endif

namespace {

QString libraryFileName()
{
#if defined(Q_OS_WIN)
    return QStringLiteral("kovadel.dll");
#else
    return QStringLiteral("libkovadel.so");
#endif
}

QString windowProgramFileName()
{
#if defined(Q_OS_WIN)
    return QStringLiteral("velkindex-window.exe");
#else
    return QStringLiteral("velkindex-window");
#endif
}

// The directory of the running program, or empty when it cannot be told.
// The launcher asks before any application object exists.
QString executableDirectory()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
#if defined(Q_OS_LINUX)
    const QString target = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (!target.isEmpty())
        return QFileInfo(target).absolutePath();
#elif defined(Q_OS_WIN)
    wchar_t buffer[32768];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, DWORD(sizeof buffer / sizeof buffer[0]));
    if (length > 0 && length < sizeof buffer / sizeof buffer[0])
        return QFileInfo(QString::fromWCharArray(buffer, int(length))).absolutePath();
#endif
    return QString();
}

// Where an installed copy keeps its private files: relative to the program's
// folder (bin/../lib/velkindex), and the folder it was installed to. The
// build sets both (packaging/install.cmake).
#ifndef VELK_LIBRARY_DIR_FROM_PROGRAM
#define VELK_LIBRARY_DIR_FROM_PROGRAM "../lib/velkindex"
#endif

QString firstExisting(const QStringList& candidates)
{
    for (const QString& candidate : candidates) {
        if (QFileInfo::exists(candidate))
            return candidate;
    }
    return QString();
}

} // namespace

QStringList privateFileCandidates(const QString& fileName)
{
    QStringList candidates;
    const QString directory = executableDirectory();
    if (!directory.isEmpty()) {
        candidates << QDir(directory).filePath(fileName);
        candidates << QDir::cleanPath(
            QDir(directory).filePath(QStringLiteral(VELK_LIBRARY_DIR_FROM_PROGRAM "/") + fileName));
    }
#ifdef VELK_INSTALLED_LIBRARY_DIR
    candidates << QDir(QStringLiteral(VELK_INSTALLED_LIBRARY_DIR)).filePath(fileName);
#endif
    return candidates;
}

QString defaultKovadelLibraryPath()
{
    const QString found = firstExisting(privateFileCandidates(libraryFileName()));
    return found.isEmpty() ? libraryFileName() : found;
}

QString windowProgramPath()
{
    const QStringList candidates = privateFileCandidates(windowProgramFileName());
    if (const QString found = firstExisting(candidates); !found.isEmpty())
        return found;
    const QString library = firstExisting(privateFileCandidates(libraryFileName()));
    if (!library.isEmpty())
        return QFileInfo(library).dir().filePath(windowProgramFileName());
    return candidates.isEmpty() ? QString() : candidates.first();
}
