// A window seam for tests: the headless lists, a dialog answered in advance,
// and a log of every visible effect (messages, pointer, progress, repaints).
#pragma once

#include "core/HeadlessShell.h"

#include <optional>
#include <vector>

class PresetDialog : public HeadlessDialog {
public:
    // The file the next showOpen() "chooses"; none means the operator cancels.
    std::optional<QString> nextAnswer;
    int shown = 0;
    bool showOpen() override
    {
        ++shown;
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
    RecordingShell()
        : HeadlessShell(nullptr)
    {
        progress.sequence = &sequence;
    }
    RecordingShell(const RecordingShell&) = delete;
    RecordingShell& operator=(const RecordingShell&) = delete;

    std::vector<QString> messages;
    // Messages and progress events in the order they happened:
    // "message:<text>", "progress:show", "progress:unload", ...
    std::vector<QString> sequence;
    std::vector<bool> busy; // every setBusy call
    int repaints = 0;
    PresetDialog dialog;
    RecordingProgress progress;

    OpenFileDialog& commonDialog() override { return dialog; }
    ProgressWindow& loadStatus() override { return progress; }
    void messageBox(const QString& text) override
    {
        messages.push_back(text);
        sequence.push_back(QStringLiteral("message:") + text);
    }
    void setBusy(bool on) override
    {
        HeadlessShell::setBusy(on);
        busy.push_back(on);
    }
    void refreshMain() override { ++repaints; }

    bool pointerRestored() const { return busy.empty() || !busy.back(); }
};
