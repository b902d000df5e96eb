#include "batch/RunSummary.h"

#include "store/Structures.h"

#include <vector>

namespace {

// One kind of noted line, with the words that name it.
struct NotedKind {
    const NotedLines& lines() const { return *noted; }
    const NotedLines* noted;
    QString singular; // "line skipped (blank)", after a count of 1
    QString plural; // "lines skipped (blank)", after any other count
    QString entry; // "skipped (blank)", after "line 7: "
};

QString counted(int64_t number, const QString& singular, const QString& plural)
{
    return groupedNumber(number) + u' ' + (number == 1 ? singular : plural);
}

QString counted(int64_t number, const char* singular, const char* plural)
{
    return counted(number, QString::fromLatin1(singular), QString::fromLatin1(plural));
}

NotedKind skippedKind(const NotedLines& lines, const char* why)
{
    const QString reason = QStringLiteral("skipped (%1)").arg(QLatin1String(why));
    return { &lines, QStringLiteral("line ") + reason, QStringLiteral("lines ") + reason, reason };
}

NotedKind cutKind(const NotedLines& lines, const char* singular, const char* plural, int width)
{
    const QString cut = QStringLiteral(" cut to %1 characters").arg(width);
    return { &lines, QLatin1String(singular) + cut, QLatin1String(plural) + cut, QLatin1String(singular) + cut };
}

// The kinds of a load, skipped ones first, in the order of the summary.
std::vector<NotedKind> skippedKinds(const LoadCounts& counts)
{
    return { skippedKind(counts.blankLines, "blank"), skippedKind(counts.shortLines, "too short") };
}

std::vector<NotedKind> cutKinds(const LoadCounts& counts)
{
    const int codeWidth = decltype(CodeRecord::Code)::width;
    const int documentWidth = decltype(CodeRecord::PatEdDocument)::width;
    const int descriptionWidth = decltype(CodeRecord::Description)::width;
    return { cutKind(counts.cutCodes, "code", "codes", codeWidth),
        cutKind(counts.cutDocuments, "document name", "document names", documentWidth),
        cutKind(counts.cutDescriptions, "description", "descriptions", descriptionWidth) };
}

std::vector<NotedKind> cutKinds(const BuildCounts& counts)
{
    const int descriptionWidth = decltype(TopicRecord::Description)::width;
    const int documentWidth = decltype(TopicRecord::PatEdDocument)::width;
    return { cutKind(counts.cutDescriptions, "description", "descriptions", descriptionWidth),
        cutKind(counts.cutDocuments, "document name", "document names", documentWidth) };
}

std::vector<NotedKind> joined(std::vector<NotedKind> first, const std::vector<NotedKind>& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// ", 2 lines skipped (blank), 7 lines skipped (too short)", or ", 0 lines
// skipped" when no line was.
QString skippedPart(const std::vector<NotedKind>& skipped)
{
    QString text;
    for (const NotedKind& kind : skipped)
        if (!kind.lines().empty())
            text += QStringLiteral(", ") + counted(kind.lines().total(), kind.singular, kind.plural);
    return text.isEmpty() ? QStringLiteral(", 0 lines skipped") : text;
}

// ", 1,476 descriptions cut to 100 characters", only for the kinds that occurred.
QString cutPart(const std::vector<NotedKind>& cut)
{
    QString text;
    for (const NotedKind& kind : cut)
        if (!kind.lines().empty())
            text += QStringLiteral(", ") + counted(kind.lines().total(), kind.singular, kind.plural);
    return text;
}

QString buildFigures(const BuildCounts& counts)
{
    // Every line of an index file becomes a topic, blank ones included, so a
    // build that succeeded skipped none; the count says so all the same.
    const int64_t skipped = counts.linesRead > counts.topicsStored ? counts.linesRead - counts.topicsStored : 0;
    return counted(counts.linesRead, "line read", "lines read") + QStringLiteral(", ")
        + counted(counts.topicsStored, "topic stored", "topics stored") + QStringLiteral(", ")
        + counted(skipped, "line skipped", "lines skipped") + cutPart(cutKinds(counts));
}

QString codeLoadFigures(const LoadCounts& counts)
{
    return counted(counts.linesRead, "line read", "lines read") + QStringLiteral(", ")
        + counted(counts.codesStored, "code stored", "codes stored") + skippedPart(skippedKinds(counts))
        + cutPart(cutKinds(counts));
}

QString descriptionLoadFigures(const LoadCounts& counts)
{
    return counted(counts.linesRead, "line read", "lines read") + QStringLiteral(", ")
        + counted(counts.codesStored, "code described", "codes described") + skippedPart(skippedKinds(counts))
        + cutPart(cutKinds(counts));
}

QStringList listing(const QString& path, const std::vector<NotedKind>& kinds)
{
    QStringList lines;
    const QString head = QStringLiteral("velkindex: ") + path + QStringLiteral(": ");
    for (const NotedKind& kind : kinds) {
        for (const int64_t number : kind.lines().listed())
            lines << head + QStringLiteral("line ") + QString::number(number) + QStringLiteral(": ") + kind.entry;
        if (kind.lines().unlisted() > 0)
            lines << head + QStringLiteral("and ")
                    + counted(kind.lines().unlisted(), QStringLiteral("more ") + kind.singular,
                        QStringLiteral("more ") + kind.plural);
    }
    return lines;
}

// "Skipped (blank): lines 4, 9 and 12 more."
QString noticeLine(const NotedKind& kind)
{
    QStringList numbers;
    for (const int64_t number : kind.lines().listed())
        numbers << QString::number(number);
    QString text = kind.entry.left(1).toUpper() + kind.entry.mid(1) + QStringLiteral(": ")
        + (kind.lines().total() == 1 ? QStringLiteral("line ") : QStringLiteral("lines "))
        + numbers.join(QStringLiteral(", "));
    if (kind.lines().unlisted() > 0)
        text += QStringLiteral(" and ") + groupedNumber(kind.lines().unlisted()) + QStringLiteral(" more");
    return text + u'.';
}

QString notice(const QString& path, const QString& figures, const std::vector<NotedKind>& kinds)
{
    QStringList lines;
    for (const NotedKind& kind : kinds)
        if (!kind.lines().empty())
            lines << noticeLine(kind);
    if (lines.isEmpty())
        return QString();
    lines.prepend(QStringLiteral("Loaded from %1: %2.").arg(path, figures));
    return lines.join(u'\n');
}

} // namespace

QString groupedNumber(int64_t number)
{
    const bool negative = number < 0;
    // Digits of the magnitude; unsigned so that the smallest value has one too.
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(number) : static_cast<uint64_t>(number);
    QString digits = QString::number(magnitude);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, u',');
    return negative ? u'-' + digits : digits;
}

RunReport topicCreateReport(const QString& name, const QString& path, const BuildCounts& counts)
{
    return { QStringLiteral("topic create %1: %2").arg(name, buildFigures(counts)), listing(path, cutKinds(counts)) };
}

RunReport topicDeleteReport(const QString& name, int modulesDeleted)
{
    RunReport report {
        QStringLiteral("topic delete %1: %2").arg(name, counted(modulesDeleted, "module deleted", "modules deleted")),
        {}
    };
    if (modulesDeleted == 0)
        report.listing
            << QStringLiteral("velkindex: No module named \"%1\" is in the database; nothing was deleted.").arg(name);
    return report;
}

RunReport codeCreateReport(const QString& name, const QString& path, const LoadCounts& counts)
{
    return { QStringLiteral("code create %1: %2").arg(name, codeLoadFigures(counts)),
        listing(path, joined(skippedKinds(counts), cutKinds(counts))) };
}

RunReport codeDeleteReport(const QString& name, int systemsCleared)
{
    if (systemsCleared == 0)
        return { QStringLiteral("code delete %1: no codes deleted").arg(name),
            { QStringLiteral("velkindex: No coding system named \"%1\" is in the database; nothing was deleted.")
                    .arg(name) } };
    return { QStringLiteral("code delete %1: codes deleted").arg(name), {} };
}

RunReport codeDescriptionReport(const QString& name, const QString& path, const LoadCounts& counts)
{
    return { QStringLiteral("code description %1: %2").arg(name, descriptionLoadFigures(counts)),
        listing(path, joined(skippedKinds(counts), cutKinds(counts))) };
}

RunReport topicExportReport(const QString& name, const QString& path, int64_t topics)
{
    return { QStringLiteral("topic export %1: %2 written to %3").arg(name, counted(topics, "topic", "topics"), path),
        {} };
}

RunReport codeExportReport(const QString& name, const QString& path, int64_t codes, int64_t lines)
{
    return { QStringLiteral("code export %1: %2 written to %3 in %4")
                 .arg(name, counted(codes, "code", "codes"), path, counted(lines, "line", "lines")),
        {} };
}

RunReport descriptionExportReport(const QString& name, const QString& path, int64_t descriptions)
{
    return { QStringLiteral("code export-descriptions %1: %2 written to %3")
                 .arg(name, counted(descriptions, "description", "descriptions"), path),
        {} };
}

QString buildNotice(const QString& path, const BuildCounts& counts)
{
    return notice(path, buildFigures(counts), cutKinds(counts));
}

QString codeLoadNotice(const QString& path, const LoadCounts& counts)
{
    return notice(path, codeLoadFigures(counts), joined(skippedKinds(counts), cutKinds(counts)));
}

QString descriptionLoadNotice(const QString& path, const LoadCounts& counts)
{
    return notice(path, descriptionLoadFigures(counts), joined(skippedKinds(counts), cutKinds(counts)));
}

void writeRunReport(const RunReport& report, FILE* out, FILE* err)
{
    if (err) {
        for (const QString& line : report.listing)
            std::fprintf(err, "%s\n", line.toLocal8Bit().constData());
        std::fflush(err);
    }
    if (out && !report.summary.isEmpty()) {
        std::fprintf(out, "%s\n", report.summary.toLocal8Bit().constData());
        std::fflush(out);
    }
}

QString interruptedAfterStoringNotice(const RunReport& report)
{
    return QStringLiteral("interrupted: the changes were already stored (%1)").arg(report.summary);
}
