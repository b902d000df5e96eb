// The progress window "Topic Loader": a fixed title, a status line and a bar
// that the topic-index builder advances. None of its controls takes input.
#pragma once

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class LoadStatus;
}

class LoadStatus : public QDialog {
    Q_OBJECT

public:
    // Loads the window: the bar at 0, the status line "Loading...". With an
    // owner it is a dialog of the owner's window, centred on it; without one
    // it is a tool window centred on the screen. Neither has a task-bar entry.
    explicit LoadStatus(QWidget* owner = nullptr);
    ~LoadStatus() override;

    // The caption of Label2.
    void setStatus(const QString& text);
    QString status() const;
    // LoadProgress, in percent: clamped to 0..100 and rounded.
    void setValue(float percent);
    int value() const;
    // Repaints now and lets the window system catch up, without taking any
    // input from the operator.
    void refresh();

protected:
    bool event(QEvent* event) override;

private:
    void Form_Load();
    void Form_Activate();

    std::unique_ptr<Ui::LoadStatus> m_ui;
};
