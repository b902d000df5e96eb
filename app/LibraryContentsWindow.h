// "Library Contents": a separate, resizable window that shows what the
// database holds, without changing anything. The "Topics" tab shows a
// module's topic index as a tree with a filter on the descriptions; the
// "Codes" tab a coding system's codes as a table, read a page at a time,
// with the library's code search. The main window opens it (View > Library
// Contents) and has it read everything again after each of its commands.
#pragma once

#include "core/LibraryContents.h"

#include <QTimer>
#include <QWidget>

#include <memory>

namespace Ui {
class LibraryContentsWindow;
}

class LibraryContentsWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr int topicsTab = 0;
    static constexpr int codesTab = 1;
    // How long typing in the code search waits for the next key before it
    // searches; Return searches at once.
    static constexpr int searchDelayMs = 250;

    explicit LibraryContentsWindow(ContentsSource& source, QWidget* parent = nullptr);
    ~LibraryContentsWindow() override;

    LibraryContents& contents() { return m_contents; }

    // Reads everything again. `module` and `system` (the main window's
    // selections) are chosen when `preferSelection` is set and they are in
    // their lists; otherwise the window's own choices stay while they exist.
    void refresh(const QString& module, const QString& system, bool preferSelection);
    // Shows a module or coding system selected in the main window, when it is
    // one of the lists.
    void showModule(const QString& name);
    void showCodingSystem(const QString& name);

private:
    void fillChoices();
    void showTopics();
    void showCodes();
    void moduleChosen(int index);
    void systemChosen(int index);
    void filterChanged(const QString& text);
    void searchNow();
    void sortChanged(int column, Qt::SortOrder order);

    std::unique_ptr<Ui::LibraryContentsWindow> m_ui;
    LibraryContents m_contents;
    QTimer m_searchDelay;
    bool m_filling = false; // the combo boxes are being filled: no choice is made
};
