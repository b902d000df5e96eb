// The main window's one open-file dialog, shared by every operation that asks
// for a file. Filter, filter index and file name stay set between uses.
#pragma once

#include "core/WindowSeam.h"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <optional>

class CommonDialog1 : public OpenFileDialog {
public:
    explicit CommonDialog1(QWidget* owner = nullptr);

    // Shows a modal open-file dialog for an existing file, starting in the
    // folder of the current file name. On a cancel the file name becomes
    // empty and the result is false.
    bool showOpen() override;

    // Turns a filter string of description|pattern pairs into Qt name
    // filters, one per pair: "description (patterns)". The description is
    // kept as it stands (the dialog shows only it); the patterns, separated
    // by ';' in the filter string, are separated by spaces, and "*.*" becomes
    // "*" so that it also matches names without a dot, as it does on Windows.
    // An empty pattern lists every file; a description with no pattern after
    // it is dropped.
    static QStringList nameFilters(const QString& filter);
    // The 0-based entry that a 1-based filter index selects among `count`
    // entries: an index outside 1..count selects the first entry.
    static int selectedEntry(int filterIndex, int count);

    // Answers the next showOpen() in advance without showing a dialog: a file
    // name, or an empty string for a cancel. std::nullopt withdraws an answer
    // not yet used. For tests and for runs where nobody is at the screen.
    static void setNextAnswer(std::optional<QString> answer);

private:
    QPointer<QWidget> m_owner;
};
