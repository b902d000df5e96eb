// A raw sqlite3 connection to a test database, apart from the library's own,
// for setting up rows and reading results back independently.
#pragma once

#include <QString>
#include <QStringList>

#include <sqlite3.h>

class RawDb {
public:
    explicit RawDb(const QString& path)
    {
        if (sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            m_error = QString::fromUtf8(sqlite3_errmsg(m_db));
        else
            sqlite3_busy_timeout(m_db, 2000);
    }
    ~RawDb() { sqlite3_close(m_db); }
    RawDb(const RawDb&) = delete;
    RawDb& operator=(const RawDb&) = delete;

    const QString& error() const { return m_error; }

    bool exec(const QString& sql)
    {
        char* message = nullptr;
        if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message) == SQLITE_OK)
            return true;
        m_error = QString::fromUtf8(message);
        sqlite3_free(message);
        return false;
    }

    // Every row of a query, its columns joined by "|".
    QStringList rows(const QString& sql)
    {
        QStringList result;
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK) {
            m_error = QString::fromUtf8(sqlite3_errmsg(m_db));
            return { QStringLiteral("<error: %1>").arg(m_error) };
        }
        while (sqlite3_step(statement) == SQLITE_ROW) {
            QStringList columns;
            for (int i = 0; i < sqlite3_column_count(statement); ++i) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
                columns.append(text ? QString::fromUtf8(text) : QStringLiteral("<null>"));
            }
            result.append(columns.join(u'|'));
        }
        sqlite3_finalize(statement);
        return result;
    }
    QString value(const QString& sql)
    {
        const QStringList found = rows(sql);
        return found.isEmpty() ? QString() : found.first();
    }
    int count(const QString& sql) { return value(sql).toInt(); }

private:
    sqlite3* m_db = nullptr;
    QString m_error;
};
