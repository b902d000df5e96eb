// Coding description lines on any text, in both layouts: the code and the
// description come from fixed positions, and the line's last character is
// never read.
#include "fuzz/FuzzSupport.h"

#include "coding/CodeFile.h"

namespace {

void checkLayout(const QString& line, DescriptionLayout layout)
{
    DescriptionLine fields;
    fields.Code = QStringLiteral("stale");
    fields.Description = QStringLiteral("stale");
    const bool used = splitDescriptionLine(line, layout, fields);
    const bool icd = layout == DescriptionLayout::ICD;
    const QString shown = (icd ? QStringLiteral("ICD ") : QStringLiteral("other ")) + visible(line)
        + QStringLiteral(" -> ") + visible(fields.Code) + u' ' + visible(fields.Description);

    const qsizetype shortest = icd ? 11 : 7;
    FUZZ_CHECK(minimumDescriptionLine(layout) == shortest, shown);
    FUZZ_CHECK(used == (line.size() >= shortest), shown);
    if (!used) {
        FUZZ_CHECK(fields.Code.isEmpty() && fields.Description.isEmpty(), shown);
        return;
    }

    // The pieces that are not read, put back around the two fields, give the
    // line again: nothing is lost, moved or changed.
    const QChar last = line.back();
    if (icd) {
        // 1 not read, code 2-7, 8-10 not read, description 11 to the next-to-last.
        FUZZ_CHECK(fields.Code.size() == 6, shown);
        FUZZ_CHECK(fields.Description.size() == line.size() - 11, shown);
        FUZZ_CHECK(line.left(1) + fields.Code + line.mid(7, 3) + fields.Description + last == line, shown);
    } else {
        // Code 1-5, 6 not read, description 7 to the next-to-last.
        FUZZ_CHECK(fields.Code.size() == 5, shown);
        FUZZ_CHECK(fields.Description.size() == line.size() - 7, shown);
        FUZZ_CHECK(fields.Code + line.at(5) + fields.Description + last == line, shown);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString line = fuzzText(data, size);
    checkLayout(line, DescriptionLayout::ICD);
    checkLayout(line, DescriptionLayout::Other);

    // The text as a coding system's name: only "ICD" itself picks the ICD layout.
    const DescriptionLayout chosen = descriptionLayoutFor(line);
    FUZZ_CHECK((chosen == DescriptionLayout::ICD) == (line == QLatin1String("ICD")), visible(line));
    return 0;
}
