#pragma once

#include "core/PatEdContext.h"
#include "support/RecordingExternals.h"
#include "support/RecordingShell.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

// One handler run against the recording stand-ins, with a temporary folder
// for input files.
struct TopicFixture {
    MainVariables vars;
    RecordingShell shell;
    RecordingExternals store;
    PatEdContext ctx {vars, shell, store};
    QTemporaryDir dir;

    TopicFixture() { vars.RunMode = QStringLiteral("topic"); }

    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return path;
    }

    // Makes `path` the batch input file.
    void useBatchFile(const QString& path)
    {
        vars.BatchFileDir = dir.path() + u'/';
        vars.BatchFileName = path.mid(dir.path().size() + 1);
    }

    void addModule(int32_t id, const QString& name, const QString& prefix, bool select = true)
    {
        ModuleRecord m;
        m.ModuleID = id;
        m.ModuleName = name;
        m.DirectoryPrefix = prefix;
        store.modules.push_back(m);
        if (select) {
            shell.addListItem(ListName::ModuleList, name);
            shell.setListText(ListName::ModuleList, name);
        }
    }
};
