#include "app/LoadStatusHost.h"

LoadStatusHost::LoadStatusHost(QWidget* owner)
    : m_owner(owner)
{
}

LoadStatusHost::~LoadStatusHost() { unload(); }

LoadStatus& LoadStatusHost::load()
{
    if (!m_window)
        m_window = new LoadStatus(m_owner);
    return *m_window;
}

void LoadStatusHost::show() { load().show(); }

void LoadStatusHost::refresh()
{
    if (m_window)
        m_window->refresh();
}

void LoadStatusHost::setStatus(const QString& text) { load().setStatus(text); }

void LoadStatusHost::setValue(float percent) { load().setValue(percent); }

void LoadStatusHost::unload()
{
    // Deleted at once, not later: the handler that unloads it goes on
    // working without returning to the event loop.
    delete m_window.data();
}
