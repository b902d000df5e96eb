// The record operations and ExecuteQuery on the server.
#include "PostgresEngine.h"

#include "Identifiers.h"
#include "SqlText.h"

#include <cctype>
#include <cstring>

namespace kovadel {
namespace {

    constexpr const char* kCopyCodes
        = "COPY codes (Code, CodingSystemID, CodeFlag, Description, PatEdDocument) FROM STDIN";
    constexpr const char* kCopyTopics
        = "COPY topics (TopicID, ModuleID, ParentID, HasChild, PatEdDocument, Description) FROM STDIN";
    constexpr const char* kCopyDescriptions = "COPY kovadel_descriptions (seq, code, description) FROM STDIN";
    // The newest topics held back from the COPY (see storeTopic).
    constexpr size_t kHeldTopics = 64;

    // The server's text holds no NUL: a value ends at the first one, as it
    // does when it is bound.
    std::string_view untilNul(const std::string& text)
    {
        const size_t nul = text.find('\0');
        return std::string_view(text).substr(0, nul);
    }

    // A text value in COPY's text form.
    void copyText(std::string& row, const std::string& text)
    {
        for (char c : untilNul(text)) {
            switch (c) {
            case '\\':
                row += "\\\\";
                break;
            case '\t':
                row += "\\t";
                break;
            case '\n':
                row += "\\n";
                break;
            case '\r':
                row += "\\r";
                break;
            default:
                row += c;
            }
        }
    }

    // The first word of SQL text, upper case, after blanks, comments and
    // empty statements.
    std::string firstWord(std::string_view sql)
    {
        size_t i = 0;
        while (i < sql.size()) {
            const char c = sql[i];
            if (std::isspace(static_cast<unsigned char>(c)) || c == ';') {
                ++i;
            } else if (sql.substr(i, 2) == "--") {
                const size_t end = sql.find('\n', i);
                i = end == std::string_view::npos ? sql.size() : end + 1;
            } else if (sql.substr(i, 2) == "/*") {
                const size_t end = sql.find("*/", i + 2);
                i = end == std::string_view::npos ? sql.size() : end + 2;
            } else {
                break;
            }
        }
        std::string word;
        while (i < sql.size() && (std::isalpha(static_cast<unsigned char>(sql[i])) || sql[i] == '_'))
            word += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i++])));
        return word;
    }

    // The statements that ExecuteQuery may not run: units of work open and
    // end the transactions, and the connection's settings are the library's.
    const char* refusal(const std::string& word)
    {
        static constexpr const char* transaction[]
            = { "BEGIN", "START", "COMMIT", "END", "ROLLBACK", "ABORT", "SAVEPOINT", "RELEASE", "PREPARE" };
        for (const char* w : transaction)
            if (word == w)
                return "a statement that opens or ends a transaction is refused (units of work do that)";
        if (word == "SET" || word == "RESET" || word == "DISCARD")
            return "a statement that changes the connection's settings is refused";
        return nullptr;
    }

    bool readsOnly(const std::string& word)
    {
        return word == "SELECT" || word == "VALUES" || word == "TABLE" || word == "SHOW" || word == "EXPLAIN";
    }

    // Rows of a list, each made by `make(result, row, identifier)`; one whose
    // identifier a record cannot hold fails the list, naming `what`.
    template <class Row, class Make>
    Status listRows(const PGresult* r, const char* what, std::vector<Row>& rows, Make make)
    {
        rows.clear();
        for (int i = 0; i < PQntuples(r); ++i) {
            const int64_t id = pgInteger(r, i, 0);
            if (!fitsRecord(id)) {
                rows.clear();
                return beyondRecord(what, id);
            }
            rows.push_back(make(r, i, toInt32(id)));
        }
        return {};
    }

} // namespace

std::string PostgresEngine::patternSql(
    std::string_view head, const std::vector<Condition>& conditions, std::string_view tail, PgValues& values)
{
    std::string sql(head);
    const char* joint = " WHERE ";
    for (const Condition& c : conditions) {
        if (c.any)
            continue;
        if (c.text)
            values.text(std::string(untilNul(*c.text)));
        else
            values.integer(c.number);
        sql += joint;
        sql += c.column;
        sql += " = $" + std::to_string(values.size());
        joint = " AND ";
    }
    sql += tail;
    return sql;
}

// ---- modules ---------------------------------------------------------------

Status PostgresEngine::getModules(const ModuleFields& filter, std::vector<ModuleFields>& rows)
{
    return read([&]() -> Status {
        PgValues values;
        const std::string sql = patternSql(
            "SELECT ModuleID, ModuleName, DirectoryPrefix FROM modules", moduleFilter(filter), " ORDER BY ModuleID", values);
        PgResult r;
        if (Status st = m_link.run(sql, values, &r); !st)
            return st;
        return listRows(r.get(), "the module identifier", rows, [](const PGresult* res, int i, int32_t id) {
            return ModuleFields { id, pgText(res, i, 1), pgText(res, i, 2) };
        });
    });
}

Status PostgresEngine::getModule(const std::string& name, ModuleFields& row)
{
    return read([&]() -> Status {
        PgResult r;
        if (Status st = m_link.run("SELECT ModuleID, ModuleName, DirectoryPrefix FROM modules"
                                   " WHERE trim(ModuleName) = $1 ORDER BY ModuleID LIMIT 1",
                PgValues().text(std::string(untilNul(name))), &r);
            !st)
            return st;
        if (PQntuples(r.get()) == 0)
            return Status::failure("no module is named " + name);
        const int64_t id = pgInteger(r.get(), 0, 0);
        if (!fitsRecord(id))
            return beyondRecord("the module identifier", id);
        row = { toInt32(id), pgText(r.get(), 0, 1), pgText(r.get(), 0, 2) };
        return {};
    });
}

Status PostgresEngine::insertModule(const ModuleFields& module)
{
    // Numbered under the library's lock past both the largest module and the
    // largest number the sequence gave; the sequence itself moves on only as
    // the unit commits (moveSequences). A sequence is outside the transaction:
    // taking a number from it would move the numbering even for a unit that is
    // rolled back.
    return write([&] {
        m_modulesNumbered = true;
        return m_link.queue("INSERT INTO modules (ModuleID, ModuleName, DirectoryPrefix) SELECT greatest(coalesce(max("
                            "ModuleID), 0), pg_sequence_last_value(pg_get_serial_sequence('modules', 'moduleid')::"
                            "regclass)) + 1, $1, $2 FROM modules",
            PgValues().text(std::string(untilNul(module.moduleName))).text(std::string(untilNul(module.directoryPrefix))));
    });
}

Status PostgresEngine::deleteModules(const ModuleFields& pattern)
{
    return write([&] {
        PgValues values;
        const std::string sql = patternSql("DELETE FROM modules", modulePattern(pattern), "", values);
        return m_link.queue(sql, values);
    });
}

// ---- topics ----------------------------------------------------------------

Status PostgresEngine::insertTopic(const TopicFields& topic)
{
    // The library numbers the topic; the identifier given is not used.
    return write(
        [&] {
            return storeTopic(topic.moduleId, topic.parentId, topic.hasChild, topic.patEdDocument, topic.description);
        },
        true);
}

Status PostgresEngine::storeTopic(int64_t moduleId, int64_t parentId, int64_t hasChild, const std::string& document,
    const std::string& description)
{
    // Within a unit the library's lock is held: no other writer numbers
    // topics, so the next number is read once, past both the largest topic
    // and the largest number the sequence ever gave.
    if (Status st = applyDescriptions(); !st)
        return st;
    if (m_nextTopicId == 0) {
        PgResult r;
        if (Status st = m_link.run("SELECT greatest(coalesce((SELECT max(TopicID) FROM topics), 0), (SELECT CASE WHEN "
                                   "is_called THEN last_value ELSE last_value - 1 END FROM "
                    + m_topicSequence + ")) + 1",
                PgValues(), &r);
            !st)
            return st;
        m_nextTopicId = pgInteger(r.get(), 0, 0);
    }
    if (m_nextTopicId > kLargestIdentifier)
        return noRoomForTopic(m_nextTopicId);
    TopicFields topic;
    topic.topicId = toInt32(m_nextTopicId);
    topic.moduleId = toInt32(moduleId);
    topic.parentId = toInt32(parentId);
    topic.hasChild = toInt32(hasChild);
    topic.patEdDocument = std::string(untilNul(document));
    topic.description = std::string(untilNul(description));
    m_lastTopicId = m_nextTopicId++;
    m_heldTopics.push_back(std::move(topic));
    if (m_heldTopics.size() > kHeldTopics) {
        if (Status st = sendTopic(m_heldTopics.front()); !st)
            return st;
        m_heldTopics.pop_front();
    }
    return {};
}

Status PostgresEngine::sendTopic(const TopicFields& topic)
{
    std::string row = std::to_string(topic.topicId) + '\t' + std::to_string(topic.moduleId) + '\t'
        + std::to_string(topic.parentId) + '\t' + std::to_string(topic.hasChild) + '\t';
    copyText(row, topic.patEdDocument);
    row += '\t';
    copyText(row, topic.description);
    row += '\n';
    return m_link.copyRow(kCopyTopics, row);
}

Status PostgresEngine::sendHeldTopics()
{
    while (!m_heldTopics.empty()) {
        if (Status st = sendTopic(m_heldTopics.front()); !st) {
            m_heldTopics.clear();
            return st;
        }
        m_heldTopics.pop_front();
    }
    return {};
}

Status PostgresEngine::moveSequences()
{
    // The sequences move past the numbers given, so that rows stored by SQL
    // text, or by another workstation later, are numbered after them. A
    // sequence is outside the transaction, so this waits for the commit (or
    // for SQL text): a unit rolled back leaves the numbering where it was.
    if (m_lastTopicId != 0) {
        const int64_t last = m_lastTopicId;
        m_lastTopicId = 0;
        if (Status st = m_link.queue("SELECT setval($1::regclass, $2)", PgValues().text(m_topicSequence).integer(last));
            !st)
            return st;
    }
    if (!m_modulesNumbered)
        return {};
    m_modulesNumbered = false;
    return m_link.queue("SELECT setval(s, n) FROM (SELECT pg_get_serial_sequence('modules', 'moduleid')::regclass AS "
                        "s) q, LATERAL (SELECT greatest((SELECT max(ModuleID) FROM modules), pg_sequence_last_value("
                        "q.s)) AS n) v WHERE n IS NOT NULL",
        PgValues());
}

Status PostgresEngine::getTopic(const TopicFields& key, int32_t& topicId)
{
    return read([&]() -> Status {
        PgResult r;
        if (Status st = m_link.run("SELECT TopicID FROM topics WHERE ModuleID = $1 AND trim(PatEdDocument) = $2"
                                   " AND trim(Description) = $3 ORDER BY TopicID DESC LIMIT 1",
                PgValues()
                    .integer(key.moduleId)
                    .text(std::string(untilNul(key.patEdDocument)))
                    .text(std::string(untilNul(key.description))),
                &r);
            !st)
            return st;
        if (PQntuples(r.get()) == 0)
            return Status::failure(
                "no topic of module " + std::to_string(key.moduleId) + " has that document and description");
        const int64_t id = pgInteger(r.get(), 0, 0);
        if (!fitsRecord(id))
            return beyondRecord("the topic identifier", id);
        topicId = toInt32(id);
        return {};
    });
}

Status PostgresEngine::setTopic(int32_t topicId, int32_t hasChild)
{
    // An identifier names one topic; when it names none, the caller's
    // numbering has gone wrong and should hear of it (inside a unit, at the
    // latest as the unit commits).
    return write(
        [&] {
            if (Status st = applyDescriptions(); !st)
                return st;
            for (auto held = m_heldTopics.rbegin(); held != m_heldTopics.rend(); ++held) {
                if (held->topicId == topicId) {
                    held->hasChild = hasChild;
                    return Status();
                }
            }
            if (Status st = sendHeldTopics(); !st)
                return st;
            return m_link.queue("UPDATE topics SET HasChild = $2 WHERE TopicID = $1",
                PgValues().integer(topicId).integer(hasChild),
                PgExpect { true, "no topic has the identifier " + std::to_string(topicId) });
        },
        true);
}

Status PostgresEngine::deleteTopics(const TopicFields& pattern)
{
    return write([&] {
        PgValues values;
        const std::string sql = patternSql("DELETE FROM topics", topicPattern(pattern), "", values);
        return m_link.queue(sql, values);
    });
}

// ---- coding systems and codes ---------------------------------------------

Status PostgresEngine::getCodingSystems(const CodingSystemFields& filter, std::vector<CodingSystemFields>& rows)
{
    return read([&]() -> Status {
        PgValues values;
        const std::string sql = patternSql("SELECT CodingSystemID, CodingSystemName FROM codingsystems",
            codingSystemFilter(filter), " ORDER BY CodingSystemID", values);
        PgResult r;
        if (Status st = m_link.run(sql, values, &r); !st)
            return st;
        return listRows(r.get(), "the coding system identifier", rows, [](const PGresult* res, int i, int32_t id) {
            return CodingSystemFields { id, pgText(res, i, 1) };
        });
    });
}

Status PostgresEngine::getCodingSystem(const std::string& name, CodingSystemFields& row)
{
    return read([&]() -> Status {
        PgResult r;
        if (Status st = m_link.run("SELECT CodingSystemID, CodingSystemName FROM codingsystems"
                                   " WHERE trim(CodingSystemName) = $1 ORDER BY CodingSystemID LIMIT 1",
                PgValues().text(std::string(untilNul(name))), &r);
            !st)
            return st;
        if (PQntuples(r.get()) == 0)
            return Status::failure("no coding system is named " + name);
        const int64_t id = pgInteger(r.get(), 0, 0);
        if (!fitsRecord(id))
            return beyondRecord("the coding system identifier", id);
        row = { toInt32(id), pgText(r.get(), 0, 1) };
        return {};
    });
}

Status PostgresEngine::insertCode(const CodeFields& code)
{
    // A run of codes goes to the server as one COPY.
    return write([&] {
        std::string row;
        row.reserve(code.code.size() + code.description.size() + code.patEdDocument.size() + 32);
        copyText(row, code.code);
        row += '\t';
        row += std::to_string(code.codingSystemId);
        row += '\t';
        row += std::to_string(code.codeFlag);
        row += '\t';
        copyText(row, code.description);
        row += '\t';
        copyText(row, code.patEdDocument);
        row += '\n';
        return m_link.copyRow(kCopyCodes, row);
    });
}

Status PostgresEngine::setCode(const CodeFields& code)
{
    // Every code of that name gets the description: within one coding system
    // when the record names one, in all of them when its identifier is 0.
    return write(
        [&] {
            if (Status st = sendHeldTopics(); !st)
                return st;
            if (m_descriptionTable) {
                if (m_descriptionsHeld && m_descriptionSystem != code.codingSystemId)
                    if (Status st = applyDescriptions(); !st)
                        return st;
                std::string row = std::to_string(++m_descriptionCount) + '\t';
                copyText(row, code.code);
                row += '\t';
                copyText(row, code.description);
                row += '\n';
                m_descriptionsHeld = true;
                m_descriptionSystem = code.codingSystemId;
                return m_link.copyRow(kCopyDescriptions, row);
            }
            if (code.codingSystemId != 0)
                return m_link.queue("UPDATE codes SET Description = $1 WHERE trim(Code) = $2 AND CodingSystemID = $3",
                    PgValues()
                        .text(std::string(untilNul(code.description)))
                        .text(std::string(untilNul(code.code)))
                        .integer(code.codingSystemId));
            return m_link.queue("UPDATE codes SET Description = $1 WHERE trim(Code) = $2",
                PgValues().text(std::string(untilNul(code.description))).text(std::string(untilNul(code.code))));
        },
        true);
}

Status PostgresEngine::applyDescriptions()
{
    if (!m_descriptionsHeld)
        return {};
    m_descriptionsHeld = false;
    const std::string latest = "(SELECT DISTINCT ON (code) code, description FROM kovadel_descriptions"
                               " ORDER BY code, seq DESC) d";
    Status st = m_descriptionSystem != 0
        ? m_link.queue("UPDATE codes SET Description = d.description FROM " + latest
                + " WHERE trim(codes.Code) = d.code AND codes.CodingSystemID = $1",
            PgValues().integer(m_descriptionSystem))
        : m_link.queue(
            "UPDATE codes SET Description = d.description FROM " + latest + " WHERE trim(codes.Code) = d.code",
            PgValues());
    if (st)
        st = m_link.queue("TRUNCATE kovadel_descriptions", PgValues());
    return st;
}

Status PostgresEngine::deleteCodes(const CodeFields& pattern)
{
    return write([&] {
        PgValues values;
        const std::string sql = patternSql("DELETE FROM codes", codePattern(pattern), "", values);
        return m_link.queue(sql, values);
    });
}

// ---- defaults --------------------------------------------------------------

namespace {

    std::string defaultsColumnList()
    {
        std::string list;
        for (const DefaultsColumn& c : kDefaultsColumns)
            list += (list.empty() ? "" : ", ") + std::string(c.name);
        return list;
    }

    PgValues defaultsValues(const DefaultsFields& defaults)
    {
        PgValues values;
        for (size_t i = 0; i < kDefaultsColumnCount; ++i) {
            if (kDefaultsColumns[i].width == 0)
                values.integer(defaults.value[i]);
            else
                values.text(std::string(untilNul(defaults.text[i])));
        }
        return values;
    }

    // Updates the row of that key or, when there is none, adds one: a single
    // statement, so that it can be pipelined and is atomic on its own.
    std::string setDefaultsSql()
    {
        std::string set, params;
        for (size_t i = 0; i < kDefaultsColumnCount; ++i) {
            const std::string param = "$" + std::to_string(i + 1);
            const std::string typed = param + (kDefaultsColumns[i].width == 0 ? "::bigint" : "::text");
            params += (i > 0 ? ", " : "") + typed;
            if (i > 0)
                set += std::string(i > 1 ? ", " : "") + kDefaultsColumns[i].name + " = " + typed;
        }
        return "WITH changed AS (UPDATE patEdDefaults SET " + set + " WHERE trim(DefaultsKey) = $1::text RETURNING 1) "
            + "INSERT INTO patEdDefaults (" + defaultsColumnList() + ") SELECT " + params
            + " WHERE NOT EXISTS (SELECT 1 FROM changed)";
    }

} // namespace

Status PostgresEngine::getDefaults(const std::string& key, DefaultsFields& defaults)
{
    return read([&]() -> Status {
        PgResult r;
        if (Status st = m_link.run("SELECT " + defaultsColumnList()
                    + " FROM patEdDefaults WHERE trim(DefaultsKey) = $1 ORDER BY DefaultsKey LIMIT 1",
                PgValues().text(std::string(untilNul(key))), &r);
            !st)
            return st;
        if (PQntuples(r.get()) == 0) {
            if (key.empty()) {
                // Every library has defaults under the blank key; where the
                // row has been removed they read as blank.
                defaults = DefaultsFields();
                return {};
            }
            return Status::failure("no defaults are stored under the key " + key);
        }
        for (size_t i = 0; i < kDefaultsColumnCount; ++i) {
            const int column = static_cast<int>(i);
            if (kDefaultsColumns[i].width == 0)
                defaults.value[i] = toInt32(pgInteger(r.get(), 0, column));
            else
                defaults.text[i] = pgText(r.get(), 0, column);
        }
        return {};
    });
}

Status PostgresEngine::setDefaults(const DefaultsFields& defaults)
{
    return write([&] { return m_link.queue(setDefaultsSql(), defaultsValues(defaults)); });
}

// ---- ExecuteQuery ----------------------------------------------------------

Status PostgresEngine::executeQuery(std::string_view sql)
{
    if (Status st = usable(); !st)
        return st;

    // The program's topic insert, sent in bulk, goes to the pipelined
    // insert: the row stored is the one the text would store.
    TopicInsertValues values;
    if (parseTopicInsert(sql, values)) {
        if (!fitsRecord(values.moduleId))
            return beyondRecord("the module identifier", values.moduleId);
        if (!fitsRecord(values.parentId))
            return beyondRecord("the parent topic identifier", values.parentId);
        return write(
            [&] {
                return storeTopic(
                    values.moduleId, values.parentId, values.hasChild, values.patEdDocument, values.description);
            },
            true);
    }

    if (holdsNoStatement(sql))
        return Status::failure("the SQL text holds no statement");
    const std::string word = firstWord(sql);
    if (const char* refused = refusal(word))
        return Status::failure(refused);
    const std::string text(untilNul(std::string(sql)));
    // One statement through the extended protocol: the server refuses text
    // that holds more.
    auto runIt = [&]() -> Status {
        // The text may store or renumber topics: the next number is read anew.
        m_nextTopicId = 0;
        if (Status st = moveSequences(); !st)
            return st;
        if (Status st = m_link.settle(); !st)
            return st;
        Status st = m_link.run(text, PgValues(), nullptr, false);
        if (!st && st.reason().find("cannot insert multiple commands") != std::string::npos)
            return Status::failure("the SQL text holds more than one statement; none was run");
        return st;
    };
    if (m_depth == 0)
        return readsOnly(word) ? read(runIt) : write(runIt);

    // Inside a unit, a statement that fails is undone alone, as on SQLite: the
    // unit goes on.
    return read([&]() -> Status {
        if (Status st = m_link.exec("SAVEPOINT kovadel_query"); !st)
            return st;
        Status st = runIt();
        if (!st) {
            if (!m_link.lost() && m_link.exec("ROLLBACK TO SAVEPOINT kovadel_query"))
                (void)m_link.exec("RELEASE SAVEPOINT kovadel_query");
            return st;
        }
        return m_link.exec("RELEASE SAVEPOINT kovadel_query");
    });
}

} // namespace kovadel
