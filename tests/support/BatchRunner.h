// Runs the velkindex executable as a batch job would: no display, no input.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

struct BatchResult {
    int exitCode = -1;
    bool crashed = false;
    qint64 pid = 0; // the process started
    QString out;
    QString err;
};

inline QProcessEnvironment headlessEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    return env;
}

inline BatchResult runVelkindex(const QStringList& args, const QProcessEnvironment& env = headlessEnvironment(),
                                const QString& program = QStringLiteral(VELKINDEX_EXECUTABLE), int timeoutMs = 60000)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, args);
    BatchResult result;
    if (!process.waitForStarted(10000)) {
        result.err = process.errorString();
        return result;
    }
    result.pid = process.processId();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.err = QStringLiteral("timed out");
        return result;
    }
    result.crashed = process.exitStatus() != QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}
