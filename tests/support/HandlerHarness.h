// A handler's whole world for tests: the recording library, the recording
// window seam, the run's variables and a temporary folder for input files.
#pragma once

#include "core/PatEdContext.h"
#include "support/PrintQString.h"
#include "support/RecordingExternals.h"
#include "support/RecordingShell.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <string>

// Writes `bytes` to `path` as they are (no line-end translation).
inline bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    return file.write(bytes) == bytes.size();
}

// The bytes of the file at `path` as they are; "<missing>" when it cannot be read.
inline std::string fileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll().toStdString();
}

// A text field as the library receives it: the text, then blanks up to N.
template <int N> QString padded(const QString& text)
{
    return text.left(N) + QString(N - qMin<qsizetype>(text.size(), N), u' ');
}

template <class Store = RecordingExternals> struct HandlerHarness {
    Store store;
    RecordingShell ui {&store};
    MainVariables vars;
    PatEdContext ctx {vars, ui, store};
    QTemporaryDir dir;

    // The mode word the run keeps: "interactive" as the window of a plain
    // start, "topic" or "code" as after such a command line.
    explicit HandlerHarness(const QString& runMode = QStringLiteral("interactive")) { vars.RunMode = runMode; }

    // Writes an input file and returns its path (empty when it could not be
    // written).
    QString file(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        if (!writeBytes(path, bytes))
            return QString();
        return path;
    }
    // Writes an input file and lets the dialog answer with it.
    QString chosenFile(const QString& name, const QByteArray& bytes)
    {
        ui.dialog.nextAnswer = file(name, bytes);
        return *ui.dialog.nextAnswer;
    }
    // Makes `path`, a file in the temporary folder, the batch input file.
    void useBatchFile(const QString& path)
    {
        vars.BatchFileDir = dir.path() + u'/';
        vars.BatchFileName = path.mid(dir.path().size() + 1);
    }
    // A module of the library's model, selected in ModuleList when `select`.
    void addModule(int32_t id, const QString& name, const QString& prefix, bool select = true)
    {
        ModuleRecord m;
        m.ModuleID = id;
        m.ModuleName = name;
        m.DirectoryPrefix = prefix;
        store.modules.push_back(m);
        if (select) {
            ui.addListItem(ListName::ModuleList, name);
            ui.setListText(ListName::ModuleList, name);
        }
    }
    void addCodingSystem(int32_t id, const QString& name)
    {
        CodingSystemRecord system;
        system.CodingSystemID = id;
        system.CodingSystemName = name;
        store.codingSystems.push_back(system);
    }
};
