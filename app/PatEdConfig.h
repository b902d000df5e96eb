// The main window "Patient Education Configuration": the two lists every
// handler reads, the module text boxes, the shared open-file dialog and the
// commands. It is the window seam of an interactive run.
//
// Controls on the tab pages are placed relative to the tab control SSTab1,
// as the layout gives them; the form (PatEdConfig.ui) holds those positions.
// QTabWidget puts each page below its tab bar and inside its frame, so at run
// time every control is moved up and left by its page's offset within SSTab1,
// again whenever that offset changes (a new style or font moves the pages).
#pragma once

#include "app/CommonDialog1.h"
#include "app/LoadStatusHost.h"
#include "core/WindowSeam.h"

#include <QHash>
#include <QMainWindow>
#include <QPoint>

#include <functional>
#include <memory>

class ContentsSource;
class LibraryContentsWindow;
class QListWidget;

namespace Ui {
class PatEdConfig;
}

class PatEdConfig : public QMainWindow, public WindowSeam {
    Q_OBJECT

public:
    // What the commands run. A command left empty does nothing.
    struct Commands {
        std::function<void()> BuildTopic; // Topics > Build Index
        std::function<void()> ClearTopic; // Topics > Clear Index
        std::function<void()> CreateModule; // "Create" on "Modules"
        std::function<void()> CmdLoad; // "Load" on "Coding Systems"
        std::function<void()> CmdClear; // "Clear" on "Coding Systems" (never enabled)
        std::function<void()> LoadCodeDescription; // "Load Description"
    };

    explicit PatEdConfig(QWidget* parent = nullptr);
    // Runs the terminate handler (Form_Terminate), once.
    ~PatEdConfig() override;

    void setCommands(Commands commands);
    // Messages go to `sink` instead of a message box while it is set (a batch
    // run on a display, so that nothing waits for an operator). An empty
    // function brings the message box back.
    void setMessageSink(std::function<void(const QString&)> sink);
    // Called once when the window object is destroyed.
    void setTerminateHandler(std::function<void()> handler);
    // What View > Library Contents reads (it must outlive the window). Without
    // one the command is greyed.
    void setContentsSource(ContentsSource* source);
    // The "Library Contents" window, once View > Library Contents has made it.
    LibraryContentsWindow* contentsWindow() const { return m_contentsWindow; }

    // The texts of the module text boxes ModName and ModDirPrefix.
    QString modName() const;
    QString modDirPrefix() const;

    // The list widget behind a list name.
    QListWidget* list(ListName which) const;

    // WindowSeam
    QString listText(ListName list) const override;
    QStringList listItems(ListName list) const override;
    void clearList(ListName list) override;
    void addListItem(ListName list, const QString& text) override;
    void setListText(ListName list, const QString& text) override;
    CommonDialog1& commonDialog() override { return m_commonDialog; }
    LoadStatusHost& loadStatus() override { return m_loadStatus; }
    void messageBox(const QString& text) override;
    void setBusy(bool busy) override;
    void refreshMain() override;

public slots:
    void BuildTopic_Click();
    void ClearTopic_Click();
    void CreateModule_Click();
    void CmdLoad_Click();
    void CmdClear_Click();
    void LoadCodeDescription_Click();
    // Unloads the window at once, without a question. Closing the window
    // through its frame does the same.
    void Exit_Click();
    // Opens "Library Contents" on the selected module and coding system.
    void LibraryContents_Click();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Form_Activate();
    void Form_Terminate();
    void placeTabControls();
    void applyHighlightColour();
    // Runs a command to its end; "Library Contents", when it is open, then
    // reads the database again.
    void run(const std::function<void()>& command);
    void followSelection(ListName which);

    std::unique_ptr<Ui::PatEdConfig> m_ui;
    CommonDialog1 m_commonDialog;
    LoadStatusHost m_loadStatus;
    Commands m_commands;
    std::function<void(const QString&)> m_messageSink;
    std::function<void()> m_terminateHandler;
    // Each tab control's place relative to SSTab1, as the form gives it.
    QHash<QWidget*, QPoint> m_tabPlaces;
    ContentsSource* m_contentsSource = nullptr;
    LibraryContentsWindow* m_contentsWindow = nullptr; // a child window, made on first use
    bool m_commandRunning = false;
    bool m_busy = false;
    bool m_terminated = false;
};
