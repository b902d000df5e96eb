// What a handler needs from the windows: the two lists, the shared open-file
// dialog, the message box, the busy pointer, the progress window and the
// main window's repaint. The main window implements it; a batch run without a
// display and the tests use plain implementations.
#pragma once

#include <QString>
#include <QStringList>

enum class ListName { ModuleList, CodeList };

// The shared open-file dialog (CommonDialog1). The filter is a string of
// description|pattern pairs separated by vertical bars; the filter index
// counts from 1. The file name keeps its last value between uses.
// Every kind of dialog keeps these settings alike; only showing differs.
class OpenFileDialog {
public:
    virtual ~OpenFileDialog() = default;
    void setFilter(const QString& filter) { m_filter = filter; }
    QString filter() const { return m_filter; }
    void setFilterIndex(int index) { m_filterIndex = index; }
    int filterIndex() const { return m_filterIndex; }
    // Shows the dialog; false when the operator cancelled it (the file name
    // then becomes empty).
    virtual bool showOpen() = 0;
    QString fileName() const { return m_fileName; }
    void setFileName(const QString& name) { m_fileName = name; }

protected:
    QString m_filter;
    int m_filterIndex = 1;
    QString m_fileName;
};

// The progress window "Topic Loader" (LoadStatus).
class ProgressWindow {
public:
    virtual ~ProgressWindow() = default;
    virtual void show() = 0;                          // load (value 0, "Loading...") and show
    virtual void refresh() = 0;                       // repaint now
    virtual void setStatus(const QString& text) = 0;  // caption of Label2
    virtual void setValue(float percent) = 0;         // LoadProgress, 0..100
    virtual void unload() = 0;
};

class WindowSeam {
public:
    virtual ~WindowSeam() = default;

    // The text of the list: its selected item's text, empty when none is selected.
    virtual QString listText(ListName list) const = 0;
    virtual QStringList listItems(ListName list) const = 0;
    virtual void clearList(ListName list) = 0;
    virtual void addListItem(ListName list, const QString& text) = 0;
    // Selects the first item with exactly that text (none when there is none).
    virtual void setListText(ListName list, const QString& text) = 0;

    virtual OpenFileDialog& commonDialog() = 0;
    virtual ProgressWindow& loadStatus() = 0;

    // A message with an OK button only. A batch run writes it to stderr instead.
    virtual void messageBox(const QString& text) = 0;
    // The application's mouse pointer: hourglass (true) or default (false).
    virtual void setBusy(bool busy) = 0;
    // Repaint the main window now.
    virtual void refreshMain() = 0;
};
