// A window seam for handler tests: the dialog answers as told, and messages,
// pointer changes and repaints are recorded together with the depth of the
// library's unit of work at that moment.
#pragma once

#include "core/HeadlessShell.h"
#include "support/RecordingExternals.h"

#include "core/PatEdContext.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <ostream>
#include <vector>

// Readable QStrings in test failures.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

class ScriptedDialog : public HeadlessDialog {
public:
    bool cancel = false;
    QString answer;
    int shown = 0;
    int unitDepthWhenShown = -1;
    const RecordingExternals* store = nullptr;

    bool showOpen() override
    {
        ++shown;
        if (store)
            unitDepthWhenShown = store->unitDepth;
        if (cancel) {
            m_fileName.clear();
            return false;
        }
        m_fileName = answer;
        return true;
    }
};

class ScriptedShell : public HeadlessShell {
public:
    explicit ScriptedShell(const RecordingExternals* store = nullptr)
        : HeadlessShell(nullptr)
        , m_store(store)
    {
        dialog.store = store;
    }

    ScriptedDialog dialog;
    QStringList messages;
    std::vector<int> unitDepthAtMessage;
    std::vector<bool> busyChanges;
    int refreshes = 0;

    OpenFileDialog& commonDialog() override { return dialog; }
    void messageBox(const QString& text) override
    {
        messages.append(text);
        unitDepthAtMessage.push_back(m_store ? m_store->unitDepth : -1);
    }
    void setBusy(bool busy) override
    {
        HeadlessShell::setBusy(busy);
        busyChanges.push_back(busy);
    }
    void refreshMain() override { ++refreshes; }

    void fillList(ListName list, const QStringList& items, const QString& selected = QString())
    {
        clearList(list);
        for (const QString& item : items)
            addListItem(list, item);
        if (!selected.isNull())
            setListText(list, selected);
    }

private:
    const RecordingExternals* m_store;
};

// Writes `bytes` to `path` as they are (no line-end translation).
inline bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    return file.write(bytes) == bytes.size();
}

// A text field as the library receives it: the text, then blanks up to N.
template <int N> QString padded(const QString& text)
{
    return text.left(N) + QString(N - qMin<qsizetype>(text.size(), N), u' ');
}

// A handler's whole world: the recording library, the seam, the variables and
// a temporary folder for input files.
template <class Store = RecordingExternals> struct HandlerHarness {
    Store store;
    ScriptedShell ui { &store };
    MainVariables vars;
    PatEdContext ctx { vars, ui, store };
    QTemporaryDir dir;

    HandlerHarness() { vars.RunMode = QStringLiteral("interactive"); }

    // Writes an input file and returns its path.
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
        ui.dialog.answer = file(name, bytes);
        return ui.dialog.answer;
    }
    void addCodingSystem(int32_t id, const QString& name)
    {
        CodingSystemRecord system;
        system.CodingSystemID = id;
        system.CodingSystemName = name;
        store.codingSystems.push_back(system);
    }
};
