// velkindex: maintains the index data of a patient-education library.
//
// velkindex [database [topic|code [verb [name [argument ...]]]]]
// velkindex --help | --version
//
// Without an action the main window opens; with one (topic create, topic
// delete, code create, code delete, code description) the action runs
// without showing the main window, and the exit status tells how it went.
// SIGTERM and SIGINT stop a run cleanly: its unit of work rolls back, the
// database is closed, and one line on stderr says what became of the work.
//
// This program links Qt Core only, so that a batch run does not load and
// relocate Qt Widgets, Qt Gui and what they bring. The window is a program of
// its own, velkindex-window (app/WindowMain.cpp): given no batch action, and
// once a display is there, this one replaces itself with that one, with the
// same arguments, so that the process, its signals, its exit status and its
// standard streams stay the window's.
#include "batch/CommandLine.h"
#include "batch/HeadlessRun.h"
#include "batch/Startup.h"
#include "store/Interruption.h"
#include "store/LibraryPath.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <process.h>
#include <windows.h>

#include <shellapi.h>
#include <string>
#include <vector>
#else
#include <unistd.h>
#endif

namespace {

void tellNotStarted(const QString& program, const QString& reason)
{
    tell(QStringLiteral("cannot start the window program %1: %2").arg(QDir::toNativeSeparators(program), reason));
}

// Runs the window program in place of this one. Returns only when it could
// not be started.
int handOverToWindow(char** argv)
{
    // A stop asked for before the window program could take over: as the
    // window does when a signal comes before it is shown.
    if (Interruption::requested()) {
        tell(QStringLiteral("interrupted: no command was running; nothing was changed"));
        return kExitFailed;
    }
    const QString program = windowProgramPath();
    if (program.isEmpty()) {
        tellNotStarted(QStringLiteral("velkindex-window"), QStringLiteral("the program's own folder is not known"));
        return kExitCannotStart;
    }
#ifdef _WIN32
    // No exec on Windows keeps the process: the window program runs as a
    // child, and its exit status is this program's. The spawn joins the
    // arguments with spaces; the command line is split at spaces again
    // anyway, so only the program's own path, first, needs its quotes.
    (void)argv;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    const std::wstring path = QDir::toNativeSeparators(program).toStdWString();
    const std::wstring quotedPath = L"\"" + path + L"\"";
    std::vector<const wchar_t*> arguments {quotedPath.c_str()};
    for (int i = 1; wide && i < count; ++i)
        arguments.push_back(wide[i]);
    arguments.push_back(nullptr);
    const intptr_t status = _wspawnv(_P_WAIT, path.c_str(), arguments.data());
    const int error = errno;
    LocalFree(wide);
    if (status == -1) {
        tellNotStarted(program, QString::fromLocal8Bit(std::strerror(error)));
        return kExitCannotStart;
    }
    return static_cast<int>(status);
#else
    // argv[0] stays as it was given: the window program finds its own files
    // from /proc/self/exe, and the window keeps the name it was started by.
    const QByteArray path = QFile::encodeName(program);
    ::execv(path.constData(), argv);
    tellNotStarted(program, QString::fromLocal8Bit(std::strerror(errno)));
    return kExitCannotStart;
#endif
}

} // namespace

int main(int argc, char** argv)
{
    // First of all: from here on a signal only asks the run to stop. The
    // handlers go back to their defaults when the window program takes
    // over, and it installs its own.
    Interruption::install();
    // The command line is split once; the whole run reads this plan.
    const CommandLinePlan plan = planCommandLine(argumentText(argc, argv));
    if (const std::optional<int> status = startWithoutWindow(argc, argv, plan))
        return *status;
    return handOverToWindow(argv);
}
