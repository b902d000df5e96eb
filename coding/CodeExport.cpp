#include "coding/CodeExport.h"

#include "text/IndexLine.h"
#include "text/OutputTextFile.h"

#include <functional>
#include <vector>

namespace {

bool hasLineBreak(const QString& text) { return text.contains(u'\r') || text.contains(u'\n'); }

// Why the code page cannot hold `text`, naming the code; empty when it can.
QString codePageProblem(const QString& code, const QString& text)
{
    const QString missing = OutputTextFile::missingCharacter(text);
    if (missing.isEmpty())
        return QString();
    return QStringLiteral("the code \"%1\" cannot be written in the code page %2 (it has no \"%3\")")
        .arg(code, OutputTextFile::codePageName(), missing);
}

// The coding system's identifier, or why there is none.
QString findSystem(PatEdContext& ctx, const QString& name, int32_t& id)
{
    CallStatus status;
    CodingSystemRecord system;
    system.CodingSystemID = 0;
    system.CodingSystemName = name;
    if (!ctx.store.GetCodingSystem(system, status) || system.CodingSystemID == 0)
        return QStringLiteral("No coding system named \"%1\" is in the database; nothing was written.").arg(name);
    id = system.CodingSystemID;
    return QString();
}

// Hands every code of the system to `take`, in code order, one page of the
// library at a time. `take` returns why the export stops, empty to go on.
QString eachCode(
    PatEdContext& ctx, const QString& name, int32_t systemId, const std::function<QString(const CodeRecord&)>& take)
{
    CallStatus status;
    std::vector<CodeRecord> page(1);
    page[0].CodingSystemID = systemId;
    page[0].CodeID = 0;
    for (;;) {
        if (!ctx.store.SearchCodes(page, QString(), kCodesPerPage, status))
            return QStringLiteral("The codes of coding system \"%1\" could not be read: %2. Nothing was written.")
                .arg(name, ctx.store.LastError());
        for (const CodeRecord& code : page)
            if (QString stop = take(code); !stop.isEmpty())
                return stop;
        if (page.size() < static_cast<size_t>(kCodesPerPage))
            return QString();
        // The next page begins after the last code of this one.
        const CodeRecord last = page.back();
        page.assign(1, last);
        page[0].CodingSystemID = systemId;
    }
}

} // namespace

bool documentWordForPath(const QString& path, QString& word)
{
    word.clear();
    QString field;
    if (!fieldForDirectoryForm(path, field))
        return false;
    if (field.contains(u' ') || hasLineBreak(field))
        return false;
    word = field + u',';
    return codeDocumentPath(word) == path;
}

bool CodeLines::add(const CodeRecord& code, QString& finished, bool& hasFinished, QString& problem)
{
    hasFinished = false;
    problem.clear();
    const QString text = trimSpacesRight(code.Code.text()).toString();
    const QString document = code.PatEdDocument.trimmed();
    const bool startsLine = m_line.isEmpty() || document != m_document;
    m_problemLine = m_started + (startsLine ? 1 : 0);
    if (text.isEmpty() || text.contains(u' ') || hasLineBreak(text)) {
        problem = QStringLiteral("the code \"%1\" cannot be written: the words of a code file line are separated "
                                 "by spaces")
                      .arg(text);
        return false;
    }
    if (startsLine) {
        QString word;
        if (!documentWordForPath(document, word)) {
            problem = QStringLiteral("the code \"%1\" cannot be written: no code file word gives its document "
                                     "name \"%2\"")
                          .arg(text, document);
            return false;
        }
        if (QString why = codePageProblem(text, word + u' ' + text); !why.isEmpty()) {
            problem = why;
            return false;
        }
        if (!m_line.isEmpty()) {
            finished = m_line;
            hasFinished = true;
        }
        ++m_started;
        m_document = document;
        m_line = word;
    } else if (QString why = codePageProblem(text, text); !why.isEmpty()) {
        problem = why;
        return false;
    }
    m_line += u' ';
    m_line += text;
    return true;
}

bool CodeLines::finish(QString& finished)
{
    if (m_line.isEmpty())
        return false;
    finished = m_line;
    m_line.clear();
    m_document.clear();
    return true;
}

bool descriptionLineFor(
    DescriptionLayout layout, const QString& code, const QString& description, QString& line, QString& problem)
{
    line.clear();
    problem.clear();
    const bool icd = layout == DescriptionLayout::ICD;
    const int width = icd ? 6 : 5;
    const QString text = trimSpacesRight(code).toString();
    if (text.size() > width) {
        problem = QStringLiteral("the code \"%1\" cannot be written: a description line holds codes of %2 "
                                 "characters at most")
                      .arg(text)
                      .arg(width);
        return false;
    }
    const QString said = trimSpacesRight(description).toString();
    if (hasLineBreak(text) || hasLineBreak(said)) {
        problem = QStringLiteral("the code \"%1\" cannot be written: its description holds a line break").arg(text);
        return false;
    }
    // The characters around the code and at the end are never read; they
    // are the quotes and bars that such files are usually written with.
    const QString padded = text.leftJustified(width, u' ');
    line = icd ? u'"' + padded + QStringLiteral("\",\"") + said + u'"' : padded + u'|' + said + u'|';
    if (QString why = codePageProblem(text, line); !why.isEmpty()) {
        problem = why;
        line.clear();
        return false;
    }
    return true;
}

namespace {

// The export file of coding system `name` at `path`: `write(code)` writes
// into `out` what each code gives, in code order, and says why the export
// stops (empty to go on); `finish()` writes what is left. A line that cannot
// be written stops it too, and the commit says why. The file is replaced
// only when all of it was written.
QString exportSystem(PatEdContext& ctx, const QString& name, const QString& path, OutputTextFile& out,
    const std::function<QString(const CodeRecord&)>& write, const std::function<void()>& finish)
{
    int32_t systemId = 0;
    if (QString failure = findSystem(ctx, name, systemId); !failure.isEmpty())
        return failure;
    QString error;
    if (!out.open(path, &error))
        return error + QStringLiteral(". Nothing was written.");
    const QString stop = eachCode(ctx, name, systemId, [&](const CodeRecord& code) {
        const QString why = write(code);
        return why.isEmpty() && out.failed() ? QStringLiteral("write failed") : why;
    });
    if (!stop.isEmpty() && !out.failed())
        return stop;
    if (!out.failed())
        finish();
    if (!out.commit(&error))
        return error + QStringLiteral(". Nothing was written.");
    return QString();
}

} // namespace

QString exportCodes(PatEdContext& ctx, const QString& name, const QString& path, ExportCounts& counts)
{
    counts = ExportCounts();
    OutputTextFile out;
    CodeLines lines;
    int64_t codes = 0;
    const QString failure = exportSystem(
        ctx, name, path, out,
        [&](const CodeRecord& code) {
            QString finished;
            bool hasFinished = false;
            QString problem;
            if (!lines.add(code, finished, hasFinished, problem))
                return QStringLiteral("%1: line %2: %3. Nothing was written.")
                    .arg(path)
                    .arg(lines.problemLine())
                    .arg(problem);
            ++codes;
            if (hasFinished)
                out.writeLine(finished);
            return QString();
        },
        [&]() {
            if (QString last; lines.finish(last))
                out.writeLine(last);
        });
    if (!failure.isEmpty())
        return failure;
    counts.recordsWritten = codes;
    counts.linesWritten = out.linesWritten();
    return QString();
}

QString exportCodeDescriptions(PatEdContext& ctx, const QString& name, const QString& path, ExportCounts& counts)
{
    counts = ExportCounts();
    OutputTextFile out;
    const DescriptionLayout layout = descriptionLayoutFor(name);
    // A code stored for several documents is described once: a description
    // load gives every code of that name the text.
    QString previous;
    bool any = false;
    const QString failure = exportSystem(
        ctx, name, path, out,
        [&](const CodeRecord& code) {
            const QString text = trimSpacesRight(code.Code.text()).toString();
            if (any && text == previous)
                return QString();
            any = true;
            previous = text;
            const QString description = trimSpacesRight(code.Description.text()).toString();
            if (description.isEmpty())
                return QString(); // nothing to describe
            QString line;
            QString problem;
            if (!descriptionLineFor(layout, text, description, line, problem))
                return QStringLiteral("%1: line %2: %3. Nothing was written.")
                    .arg(path)
                    .arg(out.linesWritten() + 1)
                    .arg(problem);
            out.writeLine(line);
            return QString();
        },
        []() {});
    if (!failure.isEmpty())
        return failure;
    counts.recordsWritten = out.linesWritten();
    counts.linesWritten = out.linesWritten();
    return QString();
}
