// Topics: stored (numbered here, within what a record holds), found, marked
// as having children, and deleted.
#include "SqliteEngine.h"

#include "Identifiers.h"

namespace kovadel {

Status SqliteEngine::insertTopic(const TopicFields& topic)
{
    if (Status st = m_unit.writable(); !st)
        return st;
    // The store numbers the topic; the identifier given is not used.
    return storeTopic(topic.moduleId, topic.parentId, topic.hasChild, topic.patEdDocument, topic.description);
}

Status SqliteEngine::storeTopic(int64_t moduleId, int64_t parentId, int64_t hasChild, const std::string& patEdDocument,
    const std::string& description)
{
    if (Status st = roomForTopic(); !st)
        return st;
    if (m_unit.depth() > 0) {
        // The topic gets the next number when its batch is stored.
        m_pendingTopics.addInteger(moduleId);
        m_pendingTopics.addInteger(parentId);
        m_pendingTopics.addInteger(hasChild);
        m_pendingTopics.addText(patEdDocument);
        m_pendingTopics.addText(description);
        m_pendingTopics.endRow();
        ++m_unit.nextTopicId;
        return m_pendingTopics.full() ? settle() : Status();
    }
    StatementRun r(m_statements.insertTopic);
    r.integer(1, moduleId).integer(2, parentId).integer(3, hasChild);
    r.text(4, patEdDocument).text(5, description);
    Status st = m_unit.checked(r.execute());
    topicInserted(st);
    return st;
}

Status SqliteEngine::getTopic(const TopicFields& key, int32_t& topicId)
{
    if (Status st = ready(); !st)
        return st;
    StatementRun r(m_statements.getTopic);
    r.integer(1, key.moduleId).text(2, key.patEdDocument).text(3, key.description);
    if (r.next()) {
        if (!fitsRecord(r.columnInteger(0)))
            return beyondRecord("the topic identifier", r.columnInteger(0));
        topicId = toInt32(r.columnInteger(0));
        return {};
    }
    if (!r.status())
        return m_unit.checked(r.status());
    return Status::failure("no topic of module " + std::to_string(key.moduleId) + " has that document and description");
}

Status SqliteEngine::setTopic(int32_t topicId, int32_t hasChild)
{
    if (Status st = m_unit.writable(); !st)
        return st;
    // A topic still waiting in its batch is marked there; the topics already
    // stored are not touched by the batch, so they need not wait for it.
    const int64_t firstWaiting = m_unit.nextTopicId - static_cast<int64_t>(m_pendingTopics.size());
    if (!m_pendingTopics.empty() && topicId >= firstWaiting && topicId < m_unit.nextTopicId) {
        m_pendingTopics.setInteger(static_cast<size_t>(topicId - firstWaiting), 2, hasChild);
        return {};
    }
    StatementRun r(m_statements.setTopic);
    r.integer(1, topicId).integer(2, hasChild);
    if (Status st = r.execute(); !st)
        return m_unit.checked(st);
    // An identifier names one topic; when it names none, the caller's
    // numbering has gone wrong and should hear of it.
    if (r.changes() == 0)
        return Status::failure("no topic has the identifier " + std::to_string(topicId));
    return {};
}

Status SqliteEngine::deleteTopics(const TopicFields& pattern)
{
    if (Status st = readyToWrite(); !st)
        return st;
    return runPattern(kDeleteTopics, "DELETE FROM topics", topicPattern(pattern), "");
}

Status SqliteEngine::roomForTopic()
{
    // Within a unit the write lock is held, so the next number is known from
    // the last insert; outside one it is read each time.
    if (m_unit.nextTopicId == 0 || m_unit.depth() == 0) {
        StatementRun r(m_statements.nextTopicId);
        if (!r.next())
            return m_unit.checked(
                r.status().ok() ? Status::failure("the next topic identifier could not be read") : r.status());
        m_unit.nextTopicId = r.columnInteger(0);
    }
    if (m_unit.nextTopicId > kLargestIdentifier)
        return noRoomForTopic(m_unit.nextTopicId);
    return {};
}

void SqliteEngine::topicInserted(const Status& insert)
{
    m_unit.nextTopicId = insert && m_unit.depth() > 0 ? sqlite3_last_insert_rowid(m_db.handle()) + 1 : 0;
}

} // namespace kovadel
