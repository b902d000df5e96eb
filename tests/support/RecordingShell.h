// The window seam for tests: the headless lists, a dialog answered in
// advance, and a log of every visible effect (messages, pointer, progress,
// repaints), each message with the depth of the recording library's unit of
// work at that moment when the shell is given the library.
#pragma once

#include "core/HeadlessShell.h"
#include "support/RecordingExternals.h"

#include <QStringList>

#include <optional>
#include <vector>

class PresetDialog : public HeadlessDialog {
public:
    // The file the next showOpen() "chooses"; none means the operator cancels.
    std::optional<QString> nextAnswer;
    int shown = 0;
    int unitDepthWhenShown = -1; // with a library: its unit depth at the last showOpen()
    const RecordingExternals* store = nullptr;

    bool showOpen() override
    {
        ++shown;
        if (store)
            unitDepthWhenShown = store->unitDepth;
        if (!nextAnswer) {
            m_fileName.clear();
            return false;
        }
        m_fileName = *nextAnswer;
        return true;
    }
};

class RecordingProgress : public ProgressWindow {
public:
    std::vector<QString> events; // "show", "refresh", "status:<text>", "unload"
    std::vector<float> values;
    bool shown = false;
    // When set, each event is also appended here as "progress:<event>".
    std::vector<QString>* sequence = nullptr;
    void show() override
    {
        shown = true;
        record(QStringLiteral("show"));
    }
    void refresh() override { record(QStringLiteral("refresh")); }
    void setStatus(const QString& text) override { record(QStringLiteral("status:") + text); }
    void setValue(float percent) override { values.push_back(percent); }
    void unload() override
    {
        shown = false;
        record(QStringLiteral("unload"));
    }

private:
    void record(const QString& event)
    {
        events.push_back(event);
        if (sequence)
            sequence->push_back(QStringLiteral("progress:") + event);
    }
};

class RecordingShell : public HeadlessShell {
public:
    explicit RecordingShell(const RecordingExternals* store = nullptr)
        : HeadlessShell(nullptr)
        , m_store(store)
    {
        dialog.store = store;
        progress.sequence = &sequence;
    }
    RecordingShell(const RecordingShell&) = delete;
    RecordingShell& operator=(const RecordingShell&) = delete;

    QStringList messages;
    std::vector<int> unitDepthAtMessage; // -1 without a library
    // Messages and progress events in the order they happened:
    // "message:<text>", "progress:show", "progress:unload", ...
    std::vector<QString> sequence;
    std::vector<bool> busyChanges; // every setBusy call
    int refreshes = 0;
    PresetDialog dialog;
    RecordingProgress progress;

    OpenFileDialog& commonDialog() override { return dialog; }
    ProgressWindow& loadStatus() override { return progress; }
    void messageBox(const QString& text) override
    {
        messages.append(text);
        unitDepthAtMessage.push_back(m_store ? m_store->unitDepth : -1);
        sequence.push_back(QStringLiteral("message:") + text);
    }
    void setBusy(bool on) override
    {
        HeadlessShell::setBusy(on);
        busyChanges.push_back(on);
    }
    void refreshMain() override { ++refreshes; }

    bool pointerRestored() const { return busyChanges.empty() || !busyChanges.back(); }

    // Fills a list and selects `selected` (nothing when it is null).
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
