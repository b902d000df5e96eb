// A window seam for tests: the headless lists, a dialog answered in advance,
// and a log of every visible effect (messages, pointer, progress, repaints).
#pragma once

#include "app/HeadlessShell.h"

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
    void show() override
    {
        shown = true;
        events.push_back(QStringLiteral("show"));
    }
    void refresh() override { events.push_back(QStringLiteral("refresh")); }
    void setStatus(const QString& text) override { events.push_back(QStringLiteral("status:") + text); }
    void setValue(float percent) override { values.push_back(percent); }
    void unload() override
    {
        shown = false;
        events.push_back(QStringLiteral("unload"));
    }
};

class RecordingShell : public HeadlessShell {
public:
    RecordingShell()
        : HeadlessShell(nullptr)
    {
    }

    std::vector<QString> messages;
    std::vector<bool> busy; // every setBusy call
    int repaints = 0;
    PresetDialog dialog;
    RecordingProgress progress;

    OpenFileDialog& commonDialog() override { return dialog; }
    ProgressWindow& loadStatus() override { return progress; }
    void messageBox(const QString& text) override { messages.push_back(text); }
    void setBusy(bool on) override
    {
        HeadlessShell::setBusy(on);
        busy.push_back(on);
    }
    void refreshMain() override { ++repaints; }

    bool pointerRestored() const { return busy.empty() || !busy.back(); }
};
