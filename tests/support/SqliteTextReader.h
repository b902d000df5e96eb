// The independent SQLite reader (support/SqliteReader.h) for tests that work
// in QString: SQL and results as text, rows with their columns joined by '|'.
#pragma once

#include "support/SqliteReader.h"

#include <QString>
#include <QStringList>

class SqliteTextReader {
public:
    explicit SqliteTextReader(const QString& path)
        : m_reader(path.toStdString())
    {
        if (m_reader.error().empty())
            sqlite3_busy_timeout(m_reader.handle(), 2000);
    }

    QString error() const { return QString::fromStdString(m_reader.error()); }

    bool exec(const QString& sql) { return m_reader.exec(sql.toStdString()); }

    // Every row of a query, its columns joined by "|".
    QStringList rows(const QString& sql)
    {
        QStringList result;
        for (const std::string& row : m_reader.rows(sql.toStdString()))
            result.append(QString::fromStdString(row));
        return result;
    }
    QString value(const QString& sql)
    {
        const QStringList found = rows(sql);
        return found.isEmpty() ? QString() : found.first();
    }
    int count(const QString& sql) { return value(sql).toInt(); }

private:
    SqliteReader m_reader;
};
