#include "core/HeadlessShell.h"

bool HeadlessDialog::showOpen()
{
    // Nobody can answer a dialog here: it counts as cancelled.
    m_fileName.clear();
    return false;
}

void StreamProgress::show()
{
    m_shown = true;
    m_status = QStringLiteral("Loading...");
    m_value = 0;
    m_lastTenth = -1;
}

void StreamProgress::setStatus(const QString& text)
{
    m_status = text;
    if (m_stream)
        std::fprintf(m_stream, "%s\n", qPrintable(text));
}

void StreamProgress::setValue(float percent)
{
    m_value = percent;
    const int tenth = static_cast<int>(percent / 10);
    if (m_stream && tenth != m_lastTenth && tenth > 0) {
        std::fprintf(m_stream, "%d%%\n", tenth * 10);
        m_lastTenth = tenth;
    }
}

void StreamProgress::unload() { m_shown = false; }

HeadlessShell::HeadlessShell(FILE* messages, FILE* progress) : m_progress(progress), m_messages(messages) { }

void HeadlessShell::messageBox(const QString& text)
{
    if (m_messages) {
        std::fprintf(m_messages, "velkindex: %s\n", qPrintable(text));
        std::fflush(m_messages);
    }
}
