// The external activation component shared by the main window and the
// progress window. Each window hands it its handle and the value true (-1)
// whenever it becomes the active window. The program relies on nothing it
// does with them: it keeps a record of the calls and nothing more.
#pragma once

#include <QWidget>

class ActivationComponent {
public:
    // The program's one component, created at the first call.
    static ActivationComponent& instance();
    // Whether the component has been created yet.
    static bool exists();

    void activate(WId handle, int flag);

    int activationCount() const { return m_count; }
    WId lastHandle() const { return m_lastHandle; }
    int lastFlag() const { return m_lastFlag; }

    ActivationComponent(const ActivationComponent&) = delete;
    ActivationComponent& operator=(const ActivationComponent&) = delete;

private:
    ActivationComponent() = default;

    int m_count = 0;
    WId m_lastHandle = 0;
    int m_lastFlag = 0;
};
