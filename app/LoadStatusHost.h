// The progress window as the handlers see it. show() loads a fresh LoadStatus
// owned by the main window and shows it, unload() destroys it, so every build
// starts at 0 and "Loading...". Setting the status or the value of an
// unloaded window loads it without showing it, as referring to a control of
// an unloaded form does.
#pragma once

#include "app/LoadStatus.h"
#include "core/WindowSeam.h"

#include <QPointer>

class LoadStatusHost : public ProgressWindow {
public:
    explicit LoadStatusHost(QWidget* owner = nullptr);
    ~LoadStatusHost() override;

    void show() override;
    void refresh() override;
    void setStatus(const QString& text) override;
    void setValue(float percent) override;
    void unload() override;

    // The loaded window; null while it is not loaded.
    LoadStatus* window() const { return m_window; }

    LoadStatusHost(const LoadStatusHost&) = delete;
    LoadStatusHost& operator=(const LoadStatusHost&) = delete;

private:
    LoadStatus& load();

    QPointer<QWidget> m_owner;
    QPointer<LoadStatus> m_window;
};
