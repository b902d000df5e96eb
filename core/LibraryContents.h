// What the "Library Contents" window shows, without the widgets: the lists
// of modules and coding systems to choose from, the chosen module's topic
// tree with its filter, and the chosen coding system's codes with their
// search. Everything is read from a ContentsSource; nothing is written.
#pragma once

#include "core/CodeTableModel.h"
#include "core/ContentsSource.h"
#include "core/TopicTreeModel.h"

#include <QSortFilterProxyModel>

#include <vector>

class LibraryContents {
public:
    explicit LibraryContents(ContentsSource& source);
    LibraryContents(const LibraryContents&) = delete;
    LibraryContents& operator=(const LibraryContents&) = delete;

    // Reads both lists and the chosen module's topics and coding system's
    // codes again. A choice that is still in its list stays; otherwise the
    // `preferred` name (the main window's selection) is taken, else the first
    // of the list. With `preferFirst` the preferred names come before the
    // choices. False when a read failed (see topicsError / codesError).
    bool refresh(const QString& preferredModule, const QString& preferredSystem, bool preferFirst = false);

    const std::vector<ContentsEntry>& modules() const { return m_modules; }
    const std::vector<ContentsEntry>& codingSystems() const { return m_systems; }
    QStringList moduleNames() const;
    QStringList codingSystemNames() const;

    // Chooses a module (its topics are read) or a coding system (its first
    // page of codes is read, with the current search). A name that is not in
    // its list chooses nothing and shows nothing.
    bool chooseModule(const QString& name);
    bool chooseCodingSystem(const QString& name);
    QString module() const { return m_module; }
    QString codingSystem() const { return m_system; }

    // The tree as the window shows it: only topics whose description holds
    // the filter text (case-insensitively), with their ancestors.
    void setTopicFilter(const QString& text);
    QString topicFilter() const { return m_filter; }
    // The codes matching `pattern`, as the library's search finds them.
    void setCodeSearch(const QString& pattern);
    QString codeSearch() const { return m_pattern; }

    TopicTreeModel& topicTree() { return m_tree; }
    QSortFilterProxyModel& filteredTopics() { return m_filtered; }
    CodeTableModel& codes() { return m_codes; }

    // The count lines above the tree and the table.
    QString topicCounts() const;
    QString codeCounts() const;
    // Why the last read of each side failed; empty when it succeeded.
    QString topicsError() const { return m_topicsError; }
    QString codesError() const { return m_codes.error().isEmpty() ? m_systemsError : m_codes.error(); }

private:
    static QString pick(const std::vector<ContentsEntry>& list, const QString& first, const QString& second);
    static int32_t idOf(const std::vector<ContentsEntry>& list, const QString& name);

    ContentsSource& m_source;
    std::vector<ContentsEntry> m_modules;
    std::vector<ContentsEntry> m_systems;
    QString m_module;
    QString m_system;
    QString m_filter;
    QString m_pattern;
    QString m_topicsError;
    QString m_systemsError;
    TopicTreeModel m_tree;
    QSortFilterProxyModel m_filtered;
    CodeTableModel m_codes;
};
