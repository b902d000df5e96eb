// The window seam without windows: lists held in memory, no dialog, messages
// and progress written to a stream. A batch run without a display uses it, and
// tests build their recording stand-ins on it.
#pragma once

#include "core/WindowSeam.h"

#include <QStringList>

#include <cstdio>

class NameList {
public:
    QString text() const { return m_selected >= 0 ? m_items.at(m_selected) : QString(); }
    const QStringList& items() const { return m_items; }
    int selectedIndex() const { return m_selected; }
    void clear()
    {
        m_items.clear();
        m_selected = -1;
    }
    void add(const QString& text) { m_items.append(text); }
    void setText(const QString& text) { m_selected = static_cast<int>(m_items.indexOf(text)); }

private:
    QStringList m_items;
    int m_selected = -1;
};

// A dialog that cannot be shown: it reports a cancel.
class HeadlessDialog : public OpenFileDialog {
public:
    bool showOpen() override;
};

// Progress as one line per tenth on a stream (none when the stream is null).
class StreamProgress : public ProgressWindow {
public:
    explicit StreamProgress(FILE* stream = nullptr) : m_stream(stream) { }
    void show() override;
    void refresh() override { }
    void setStatus(const QString& text) override;
    void setValue(float percent) override;
    void unload() override;
    bool isShown() const { return m_shown; }
    const QString& status() const { return m_status; }
    float value() const { return m_value; }

private:
    FILE* m_stream;
    bool m_shown = false;
    QString m_status;
    float m_value = 0;
    int m_lastTenth = -1;
};

class HeadlessShell : public WindowSeam {
public:
    // Messages go to `messages` (stderr by default), progress to `progress`
    // (none by default).
    explicit HeadlessShell(FILE* messages = stderr, FILE* progress = nullptr);

    QString listText(ListName list) const override { return names(list).text(); }
    QStringList listItems(ListName list) const override { return names(list).items(); }
    void clearList(ListName list) override { names(list).clear(); }
    void addListItem(ListName list, const QString& text) override { names(list).add(text); }
    void setListText(ListName list, const QString& text) override { names(list).setText(text); }

    OpenFileDialog& commonDialog() override { return m_dialog; }
    ProgressWindow& loadStatus() override { return m_progress; }
    void messageBox(const QString& text) override;
    void setBusy(bool busy) override { m_busy = busy; }
    void refreshMain() override { }

    bool isBusy() const { return m_busy; }
    int selectedIndex(ListName list) const { return names(list).selectedIndex(); }

protected:
    NameList& names(ListName list) { return list == ListName::ModuleList ? m_modules : m_codes; }
    const NameList& names(ListName list) const { return list == ListName::ModuleList ? m_modules : m_codes; }

private:
    NameList m_modules;
    NameList m_codes;
    HeadlessDialog m_dialog;
    StreamProgress m_progress;
    FILE* m_messages;
    bool m_busy = false;
};
