// What a run tells its operator when it has done its work: for a batch run one
// summary line on stdout and the skipped or cut lines on stderr, for a load
// from the window one message box when something was skipped or cut.
//
// Summary lines, numbers with thousands separators, "1 line" but "2 lines":
//
//   topic create ADULT: 412 lines read, 412 topics stored, 0 lines skipped
//   topic delete ADULT: 1 module deleted
//   code create ICD: 1,200 lines read, 3,400 codes stored, 2 lines skipped (blank)
//   code delete ICD: codes deleted
//
// A delete that matched nothing still succeeds (night scripts delete before
// they create): "topic delete NOPE: 0 modules deleted" or "code delete NOPE:
// no codes deleted", with one notice on stderr that nothing matched.
//   code description ICD: 14,567 lines read, 14,560 codes described, 7 lines skipped (too short),
//       1,476 descriptions cut to 100 characters                      (one line)
//
// After the counts of lines read and stored come the skipped lines: each kind
// that occurred ("(blank)", "(too short)"), or "0 lines skipped" when none was.
// Then, only when they occurred, the texts cut to their fields:
// "N descriptions cut to 80 characters" and "N document names cut to 50
// characters" (the first topic of an index), "N codes cut to 50 characters",
// "N document names cut to 50 characters" (code files), "N descriptions cut to
// 100 characters" (description files).
//
// Listing on stderr, at most NotedLines::kListed lines of each kind, then the
// rest as a count (line numbers are plain, as an editor shows them):
//
//   velkindex: PATH: line 7: skipped (too short)
//   velkindex: PATH: and 12 more lines skipped (too short)
#pragma once

#include "coding/LoadCounts.h"
#include "topics/BuildTopic.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>

struct RunReport {
    QString summary; // the stdout line, without its end
    QStringList listing; // the stderr lines, without their ends
};

// 14567 -> "14,567".
QString groupedNumber(int64_t number);

RunReport topicCreateReport(const QString& name, const QString& path, const BuildCounts& counts);
RunReport topicDeleteReport(const QString& name, int modulesDeleted);
RunReport codeCreateReport(const QString& name, const QString& path, const LoadCounts& counts);
RunReport codeDeleteReport(const QString& name, int systemsCleared);
RunReport codeDescriptionReport(const QString& name, const QString& path, const LoadCounts& counts);

// The exports: "topic export ADULT: 412 topics written to PATH", "code export
// ICD: 3,400 codes written to PATH in 1,200 lines", "code export-descriptions
// ICD: 3,390 descriptions written to PATH".
RunReport topicExportReport(const QString& name, const QString& path, int64_t topics);
RunReport codeExportReport(const QString& name, const QString& path, int64_t codes, int64_t lines);
RunReport descriptionExportReport(const QString& name, const QString& path, int64_t descriptions);

// The message box after a build or load from the window; empty when nothing
// was skipped or cut, and then no box is shown. For example:
//
//   Loaded from /data/icd.txt: 9 lines read, 12 codes stored, 2 lines skipped (blank).
//   Skipped (blank): lines 4, 9.
QString buildNotice(const QString& path, const BuildCounts& counts);
QString codeLoadNotice(const QString& path, const LoadCounts& counts);
QString descriptionLoadNotice(const QString& path, const LoadCounts& counts);

// The line of a batch run that a signal asked to stop once its work was
// committed: "interrupted: the changes were already stored (SUMMARY)".
QString interruptedAfterStoringNotice(const RunReport& report);

// The listing to `err`, then the summary to `out`, each line ended by "\n".
void writeRunReport(const RunReport& report, FILE* out, FILE* err);
