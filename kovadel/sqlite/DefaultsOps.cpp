// The program's defaults: one row per key, read and written whole.
#include "SqliteEngine.h"

#include "Identifiers.h"

namespace kovadel {
namespace {

    // Binds every column of the defaults row, in declaration order, as ?1...
    void bindDefaults(StatementRun& run, const DefaultsFields& defaults)
    {
        for (size_t i = 0; i < kDefaultsColumnCount; ++i) {
            const int param = static_cast<int>(i + 1);
            if (kDefaultsColumns[i].width == 0)
                run.integer(param, defaults.value[i]);
            else
                run.text(param, defaults.text[i]);
        }
    }

} // namespace

Status SqliteEngine::getDefaults(const std::string& key, DefaultsFields& defaults)
{
    if (Status st = ready(); !st)
        return st;
    StatementRun r(m_statements.getDefaults);
    r.text(1, key);
    if (r.next()) {
        for (size_t i = 0; i < kDefaultsColumnCount; ++i) {
            if (kDefaultsColumns[i].width == 0)
                defaults.value[i] = toInt32(r.columnInteger(static_cast<int>(i)));
            else
                defaults.text[i] = r.columnText(static_cast<int>(i));
        }
        return {};
    }
    if (!r.status())
        return m_unit.checked(r.status());
    if (key.empty()) {
        // Every database has defaults under the blank key (its schema stores
        // that row). Where the row has been removed they read as blank, as a
        // new database's do; setDefaults stores the row again.
        defaults = DefaultsFields();
        return {};
    }
    return Status::failure("no defaults are stored under the key " + key);
}

Status SqliteEngine::setDefaults(const DefaultsFields& defaults)
{
    if (Status st = readyToWrite(); !st)
        return st;
    // Update the row of that key, or add one: both in one savepoint, so that
    // the operation is atomic inside and outside a unit.
    return m_unit.inSavepoint([&]() -> Status {
        StatementRun update(m_statements.updateDefaults);
        bindDefaults(update, defaults);
        Status st = update.execute();
        if (st && update.changes() == 0) {
            StatementRun insert(m_statements.insertDefaults);
            bindDefaults(insert, defaults);
            st = insert.execute();
        }
        return st;
    });
}

} // namespace kovadel
