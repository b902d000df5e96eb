// The byte forms, checked against literal offsets and sizes of the record
// tables (deliberately not the constants of layout.h).

#include "store/ByteForms.h"

#include "support/PrintQString.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace {

// Independent readers of the raw bytes.
template <typename Bytes> uint32_t le32(const Bytes& bytes, size_t offset)
{
    return static_cast<uint32_t>(bytes[offset]) | (static_cast<uint32_t>(bytes[offset + 1]) << 8)
        | (static_cast<uint32_t>(bytes[offset + 2]) << 16) | (static_cast<uint32_t>(bytes[offset + 3]) << 24);
}

template <typename Bytes> std::string ansiAt(const Bytes& bytes, size_t offset, size_t width)
{
    return std::string(reinterpret_cast<const char*>(bytes.data() + offset), width);
}

// `width` UTF-16LE code units as a u16string.
template <typename Bytes> std::u16string unitsAt(const Bytes& bytes, size_t offset, size_t width)
{
    std::u16string text;
    for (size_t i = 0; i < width; ++i)
        text.push_back(static_cast<char16_t>(bytes[offset + 2 * i] | (bytes[offset + 2 * i + 1] << 8)));
    return text;
}

std::string padded(const std::string& text, size_t width) { return text + std::string(width - text.size(), ' '); }

std::u16string paddedUnits(const std::u16string& text, size_t width)
{
    return text + std::u16string(width - text.size(), u' ');
}

template <typename Bytes> void expectZero(const Bytes& bytes, size_t offset, size_t count, const char* what)
{
    for (size_t i = offset; i < offset + count; ++i)
        EXPECT_EQ(bytes[i], 0) << what << ": byte " << i;
}

// A code-page byte pattern that decodes to a defined character (the five
// bytes that Windows-1252 leaves undefined would come back as '?').
uint8_t definedByte(size_t i)
{
    uint8_t b = static_cast<uint8_t>((i * 37 + 11) % 256);
    if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D)
        b = 'x';
    return b;
}

// Fills every byte except the padding with the pattern.
template <typename Bytes> Bytes patterned(const std::vector<size_t>& padding)
{
    Bytes bytes {};
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = definedByte(i);
    for (size_t at : padding)
        bytes[at] = 0;
    return bytes;
}

} // namespace

// ---- Sizes ------------------------------------------------------------------

TEST(ByteForms, SizesOfTheForms)
{
    EXPECT_EQ(toSingle(ModuleRecord {}).size(), 104u);
    EXPECT_EQ(toSingle(TopicRecord {}).size(), 148u);
    EXPECT_EQ(toSingle(CodeRecord {}).size(), 216u);
    EXPECT_EQ(toSingle(CodingSystemRecord {}).size(), 56u);
    EXPECT_EQ(toSingle(PatEdDefaultsRecord {}).size(), 768u);
    EXPECT_EQ(toSingle(CallStatus {}).size(), 208u);
    EXPECT_EQ(toElement(ModuleRecord {}).size(), 204u);
    EXPECT_EQ(toElement(CodingSystemRecord {}).size(), 104u);
    EXPECT_EQ(toElement(TopicRecord {}).size(), 276u);
    EXPECT_EQ(toElement(CodeRecord {}).size(), 412u);
}

// ---- ModuleRecord -------------------------------------------------------------

TEST(ByteForms, ModuleNameOfTenCharactersIsPaddedWithoutTerminator)
{
    ModuleRecord record;
    record.ModuleID = 0x01020304;
    record.ModuleName = QStringLiteral("Cardiology");
    record.DirectoryPrefix = QStringLiteral("CARD");
    const auto bytes = toSingle(record);

    EXPECT_EQ(bytes[0], 0x04);
    EXPECT_EQ(bytes[1], 0x03);
    EXPECT_EQ(bytes[2], 0x02);
    EXPECT_EQ(bytes[3], 0x01);
    EXPECT_EQ(ansiAt(bytes, 4, 10), "Cardiology");
    EXPECT_EQ(ansiAt(bytes, 14, 40), std::string(40, ' ')) << "40 blanks, no terminator";
    EXPECT_EQ(bytes[54], 'C') << "DirectoryPrefix starts at byte 54";
    EXPECT_EQ(ansiAt(bytes, 54, 50), padded("CARD", 50));
}

TEST(ByteForms, ModuleNameOfSixtyCharactersIsCutToFifty)
{
    const QString sixty = QStringLiteral("ABCDEFGHIJ").repeated(6);
    ModuleRecord record;
    record.ModuleName = sixty;
    record.DirectoryPrefix = QStringLiteral("P");
    const auto bytes = toSingle(record);
    EXPECT_EQ(ansiAt(bytes, 4, 50), sixty.left(50).toStdString());
    EXPECT_EQ(bytes[54], 'P');
}

TEST(ByteForms, NegativeIdentifierIsTwosComplementLittleEndian)
{
    ModuleRecord record;
    record.ModuleID = -1;
    auto bytes = toSingle(record);
    EXPECT_EQ(le32(bytes, 0), 0xFFFFFFFFu);
    record.ModuleID = -2;
    bytes = toSingle(record);
    EXPECT_EQ(le32(bytes, 0), 0xFFFFFFFEu);
    ModuleRecord back;
    fromSingle(bytes, back);
    EXPECT_EQ(back.ModuleID, -2);
}

TEST(ByteForms, UnassignedRecordGoesOutAsZerosAndNuls)
{
    const auto single = toSingle(ModuleRecord {});
    expectZero(single, 0, 104, "single form");
    const auto element = toElement(ModuleRecord {});
    expectZero(element, 0, 204, "element form");
    expectZero(toSingle(PatEdDefaultsRecord {}), 0, 768, "defaults");
    expectZero(toSingle(CallStatus {}), 0, 208, "status");
}

TEST(ByteForms, ModuleElementFormIsUtf16WithoutPadding)
{
    ModuleRecord record;
    record.ModuleID = 258;
    record.ModuleName = QString::fromUtf16(u"Caf\u00E9 \u0416");
    // DirectoryPrefix left unassigned: NUL code units.
    const auto element = toElement(record);

    EXPECT_EQ(le32(element, 0), 258u);
    EXPECT_EQ(unitsAt(element, 4, 50), paddedUnits(u"Caf\u00E9 \u0416", 50));
    EXPECT_EQ(element[4 + 2 * 5], 0x16) << "U+0416 low byte first";
    EXPECT_EQ(element[4 + 2 * 5 + 1], 0x04);
    expectZero(element, 104, 100, "unassigned DirectoryPrefix");

    ModuleRecord back;
    back.ModuleName = QStringLiteral("junk");
    fromElement(element.data(), back);
    EXPECT_EQ(back, record);
}

// ---- TopicRecord ----------------------------------------------------------------

TEST(ByteForms, TopicRecordOffsets)
{
    TopicRecord record;
    record.TopicID = 17;
    record.ModuleID = 3;
    record.ParentID = -1;
    record.HasChild = 1;
    record.PatEdDocument = QStringLiteral("pdf\\asthma.htm");
    record.Description = QStringLiteral("Children''s Health");
    const auto bytes = toSingle(record);

    EXPECT_EQ(le32(bytes, 0), 17u);
    EXPECT_EQ(le32(bytes, 4), 3u);
    EXPECT_EQ(le32(bytes, 8), 0xFFFFFFFFu);
    EXPECT_EQ(le32(bytes, 12), 1u);
    EXPECT_EQ(ansiAt(bytes, 16, 50), padded("pdf\\asthma.htm", 50));
    EXPECT_EQ(ansiAt(bytes, 66, 80), padded("Children''s Health", 80));
    expectZero(bytes, 146, 2, "padding");
}

TEST(ByteForms, TopicElementFormIsUtf16WithoutPadding)
{
    TopicRecord record;
    record.TopicID = 0x01020304;
    record.ModuleID = 3;
    record.ParentID = -1;
    record.HasChild = 1;
    record.PatEdDocument = QString::fromUtf16(u"htm\\\u0416.htm");
    // Description left unassigned: NUL code units.
    const auto element = toElement(record);

    EXPECT_EQ(le32(element, 0), 0x01020304u);
    EXPECT_EQ(le32(element, 4), 3u);
    EXPECT_EQ(le32(element, 8), 0xFFFFFFFFu);
    EXPECT_EQ(le32(element, 12), 1u);
    EXPECT_EQ(unitsAt(element, 16, 50), paddedUnits(u"htm\\\u0416.htm", 50));
    EXPECT_EQ(element[16 + 2 * 4], 0x16) << "U+0416 low byte first";
    EXPECT_EQ(element[16 + 2 * 4 + 1], 0x04);
    expectZero(element, 116, 160, "unassigned Description");

    TopicRecord back;
    back.Description = QStringLiteral("junk");
    fromElement(element.data(), back);
    EXPECT_EQ(back, record);
}

// ---- CodeRecord -------------------------------------------------------------------

TEST(ByteForms, CodeElementFormIsUtf16WithoutPadding)
{
    CodeRecord record;
    record.CodeID = 5;
    record.Code = QString(50, u'C'); // full width: CodingSystemID follows at once
    record.CodingSystemID = 0x0A0B0C0D;
    record.CodeFlag = -2;
    record.Description = QString::fromUtf16(u"\u0391\u03C3\u03B8\u03BC\u03B1 caf\u00E9");
    record.PatEdDocument = QStringLiteral("doc\\bp.htm");
    const auto element = toElement(record);

    EXPECT_EQ(le32(element, 0), 5u);
    EXPECT_EQ(unitsAt(element, 4, 50), std::u16string(50, u'C'));
    EXPECT_EQ(element[104], 0x0D) << "CodingSystemID starts at byte 104";
    EXPECT_EQ(le32(element, 104), 0x0A0B0C0Du);
    EXPECT_EQ(le32(element, 108), 0xFFFFFFFEu);
    EXPECT_EQ(unitsAt(element, 112, 100), paddedUnits(u"\u0391\u03C3\u03B8\u03BC\u03B1 caf\u00E9", 100));
    EXPECT_EQ(unitsAt(element, 312, 50), paddedUnits(u"doc\\bp.htm", 50));

    CodeRecord back;
    fromElement(element.data(), back);
    EXPECT_EQ(back, record);
}

TEST(ByteForms, CodeRecordPaddingAndOffsets)
{
    CodeRecord record;
    record.CodeID = 5;
    record.Code = QString(50, u'C'); // full width, so the padding must not be text
    record.CodingSystemID = 0x0A0B0C0D;
    record.CodeFlag = -1;
    record.Description = QStringLiteral("Essential hypertension");
    record.PatEdDocument = QStringLiteral("doc\\bp.htm");
    const auto bytes = toSingle(record);

    EXPECT_EQ(le32(bytes, 0), 5u);
    EXPECT_EQ(ansiAt(bytes, 4, 50), std::string(50, 'C'));
    expectZero(bytes, 54, 2, "padding after Code");
    EXPECT_EQ(bytes[56], 0x0D) << "CodingSystemID starts at byte 56";
    EXPECT_EQ(le32(bytes, 56), 0x0A0B0C0Du);
    EXPECT_EQ(le32(bytes, 60), 0xFFFFFFFFu);
    EXPECT_EQ(ansiAt(bytes, 64, 100), padded("Essential hypertension", 100));
    EXPECT_EQ(ansiAt(bytes, 164, 50), padded("doc\\bp.htm", 50));
    expectZero(bytes, 214, 2, "final padding");
}

// ---- CodingSystemRecord ----------------------------------------------------------

TEST(ByteForms, CodingSystemSingleAndElementForms)
{
    CodingSystemRecord record;
    record.CodingSystemID = 9;
    record.CodingSystemName = QStringLiteral("ICD");
    const auto single = toSingle(record);
    EXPECT_EQ(le32(single, 0), 9u);
    EXPECT_EQ(ansiAt(single, 4, 50), padded("ICD", 50));
    expectZero(single, 54, 2, "padding");

    const auto element = toElement(record);
    EXPECT_EQ(le32(element, 0), 9u);
    EXPECT_EQ(unitsAt(element, 4, 50), paddedUnits(u"ICD", 50));
    EXPECT_EQ(element[5], 0x00);
    EXPECT_EQ(element[4 + 2 * 3], 0x20) << "blank padding as U+0020";
    EXPECT_EQ(element[4 + 2 * 3 + 1], 0x00);
}

// ---- PatEdDefaultsRecord -------------------------------------------------------

TEST(ByteForms, DefaultsRecordTextFieldsAtTheirOffsets)
{
    PatEdDefaultsRecord record;
    struct Row {
        const char* name;
        size_t offset;
        size_t width;
        std::function<void(PatEdDefaultsRecord&, const QString&)> assign;
    };
    const std::vector<Row> rows = {
        { "DefaultsKey", 0, 6, [](auto& r, const QString& v) { r.DefaultsKey = v; } },
        { "Setting02", 6, 50, [](auto& r, const QString& v) { r.Setting02 = v; } },
        { "Setting04", 60, 50, [](auto& r, const QString& v) { r.Setting04 = v; } },
        { "Setting06", 116, 50, [](auto& r, const QString& v) { r.Setting06 = v; } },
        { "DefaultModule", 166, 50, [](auto& r, const QString& v) { r.DefaultModule = v; } },
        { "Setting08", 216, 100, [](auto& r, const QString& v) { r.Setting08 = v; } },
        { "Setting10", 320, 50, [](auto& r, const QString& v) { r.Setting10 = v; } },
        { "Setting11", 370, 80, [](auto& r, const QString& v) { r.Setting11 = v; } },
        { "Setting13", 456, 50, [](auto& r, const QString& v) { r.Setting13 = v; } },
        { "Setting14", 506, 10, [](auto& r, const QString& v) { r.Setting14 = v; } },
        { "Setting15", 516, 50, [](auto& r, const QString& v) { r.Setting15 = v; } },
        { "Setting16", 566, 100, [](auto& r, const QString& v) { r.Setting16 = v; } },
        { "Setting17", 666, 100, [](auto& r, const QString& v) { r.Setting17 = v; } },
    };
    // Each field filled to its full width with its own letter.
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i].assign(record, QString(static_cast<qsizetype>(rows[i].width), QChar(static_cast<char16_t>(u'A' + i))));
    record.Setting03 = 0x33333333u;
    record.Setting05 = 0x05060708u;
    record.Setting09 = 0x99999999u;
    record.Setting12 = 0x12121212u;

    const auto bytes = toSingle(record);
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(ansiAt(bytes, rows[i].offset, rows[i].width), std::string(rows[i].width, static_cast<char>('A' + i)))
            << rows[i].name;
    EXPECT_EQ(le32(bytes, 56), 0x33333333u) << "Setting03";
    EXPECT_EQ(le32(bytes, 112), 0x05060708u) << "Setting05";
    EXPECT_EQ(bytes[112], 0x08);
    EXPECT_EQ(le32(bytes, 316), 0x99999999u) << "Setting09";
    EXPECT_EQ(le32(bytes, 452), 0x12121212u) << "Setting12";
    expectZero(bytes, 110, 2, "padding before Setting05");
    expectZero(bytes, 450, 2, "padding before Setting12");
    expectZero(bytes, 766, 2, "final padding");
}

TEST(ByteForms, DefaultsKeyBlankAndDefaultModule)
{
    PatEdDefaultsRecord record;
    record.DefaultsKey = QString();
    record.DefaultModule = QStringLiteral("Cardiology");
    const auto bytes = toSingle(record);
    EXPECT_EQ(ansiAt(bytes, 0, 6), "      ");
    EXPECT_EQ(ansiAt(bytes, 166, 50), padded("Cardiology", 50));
    expectZero(bytes, 6, 50, "unassigned Setting02");
}

TEST(ByteForms, DefaultsOpaqueValuesAreCarriedExactly)
{
    PatEdDefaultsSingle bytes {};
    const uint32_t values[4] = { 0xDEADBEEFu, 0x80000000u, 0xFFFFFFFFu, 0x00000001u };
    const size_t offsets[4] = { 56, 112, 316, 452 };
    for (int i = 0; i < 4; ++i)
        for (int b = 0; b < 4; ++b)
            bytes[offsets[i] + static_cast<size_t>(b)] = static_cast<uint8_t>(values[i] >> (8 * b));
    PatEdDefaultsRecord record;
    fromSingle(bytes, record);
    EXPECT_EQ(record.Setting03, 0xDEADBEEFu);
    EXPECT_EQ(record.Setting05, 0x80000000u);
    EXPECT_EQ(record.Setting09, 0xFFFFFFFFu);
    EXPECT_EQ(record.Setting12, 0x00000001u);
    EXPECT_EQ(toSingle(record), bytes);
}

// ---- CallStatus ---------------------------------------------------------------------

TEST(ByteForms, CallStatusOffsets)
{
    CallStatus status;
    status.StatusText1 = QString(128, u'1');
    status.StatusText2 = QString(64, u'2');
    status.StatusValue1 = 0x11111111u;
    status.StatusValue2 = 0x22222222u;
    status.StatusValue3 = 0x33333333u;
    status.StatusValue4 = 0x44444444u;
    const auto bytes = toSingle(status);
    EXPECT_EQ(ansiAt(bytes, 0, 128), std::string(128, '1'));
    EXPECT_EQ(ansiAt(bytes, 128, 64), std::string(64, '2'));
    EXPECT_EQ(le32(bytes, 192), 0x11111111u);
    EXPECT_EQ(le32(bytes, 196), 0x22222222u);
    EXPECT_EQ(le32(bytes, 200), 0x33333333u);
    EXPECT_EQ(le32(bytes, 204), 0x44444444u);
}

// ---- Code page ------------------------------------------------------------------------

TEST(ByteForms, TextGoesOutInTheAnsiCodePage)
{
    struct Row {
        char16_t character;
        uint8_t byte;
    };
    const Row rows[] = {
        { u'A', 0x41 }, { u'\u00E9', 0xE9 }, // é
        { u'\u20AC', 0x80 }, // €
        { u'\u201C', 0x93 }, // “
        { u'\u00FF', 0xFF }, // ÿ
        { u'\u0416', '?' }, // Ж: not in the code page
        { u'\u4E2D', '?' }, // 中
        { u'\0', 0x00 }, // NUL stays NUL
    };
    for (const Row& row : rows) {
        CodingSystemRecord record;
        record.CodingSystemName = QString(QChar(row.character));
        const auto bytes = toSingle(record);
        EXPECT_EQ(bytes[4], row.byte) << "U+" << std::hex << static_cast<int>(row.character);
        EXPECT_EQ(bytes[5], ' ');
    }
}

TEST(ByteForms, CodePageBytesComeBackAsCharacters)
{
    CodingSystemSingle bytes {};
    const std::string text = "caf\xE9 \x80 \x93q\x94";
    for (size_t i = 0; i < text.size(); ++i)
        bytes[4 + i] = static_cast<uint8_t>(text[i]);
    CodingSystemRecord record;
    fromSingle(bytes, record);
    EXPECT_EQ(record.CodingSystemName.text().left(static_cast<qsizetype>(text.size())),
        QString::fromUtf16(u"caf\u00E9 \u20AC \u201Cq\u201D"));
    // The rest were NUL bytes: N bytes give N characters, NULs included.
    EXPECT_EQ(record.CodingSystemName.text().size(), 50);
    EXPECT_EQ(record.CodingSystemName.chars()[49], u'\0');
}

// ---- fromSingle overwrites every field ----------------------------------------------

TEST(ByteForms, DecodingZeroBytesGivesAnUnassignedRecord)
{
    CodeRecord code;
    code.CodeID = 1;
    code.Code = QStringLiteral("x");
    code.CodingSystemID = 2;
    code.CodeFlag = 3;
    code.Description = QStringLiteral("y");
    code.PatEdDocument = QStringLiteral("z");
    fromSingle(CodeSingle {}, code);
    EXPECT_EQ(code, CodeRecord {});

    PatEdDefaultsRecord defaults;
    defaults.DefaultModule = QStringLiteral("m");
    defaults.Setting12 = 7;
    fromSingle(PatEdDefaultsSingle {}, defaults);
    EXPECT_EQ(defaults, PatEdDefaultsRecord {});

    CallStatus status;
    status.StatusText2 = QStringLiteral("t");
    status.StatusValue4 = 9;
    fromSingle(CallStatusSingle {}, status);
    EXPECT_EQ(status, CallStatus {});
}

// ---- Round trips, byte for byte ----------------------------------------------------

template <typename Record, typename Bytes>
void expectSingleRoundTrip(const std::vector<size_t>& padding, const char* name)
{
    const Bytes original = patterned<Bytes>(padding);
    Record record;
    fromSingle(original, record);
    EXPECT_EQ(toSingle(record), original) << name;
}

TEST(ByteForms, SingleFormsRoundTripByteForByte)
{
    expectSingleRoundTrip<ModuleRecord, ModuleSingle>({}, "ModuleRecord");
    expectSingleRoundTrip<TopicRecord, TopicSingle>({ 146, 147 }, "TopicRecord");
    expectSingleRoundTrip<CodeRecord, CodeSingle>({ 54, 55, 214, 215 }, "CodeRecord");
    expectSingleRoundTrip<CodingSystemRecord, CodingSystemSingle>({ 54, 55 }, "CodingSystemRecord");
    expectSingleRoundTrip<PatEdDefaultsRecord, PatEdDefaultsSingle>(
        { 110, 111, 450, 451, 766, 767 }, "PatEdDefaultsRecord");
    expectSingleRoundTrip<CallStatus, CallStatusSingle>({}, "CallStatus");
}

TEST(ByteForms, PaddingIsNotCarried)
{
    TopicSingle bytes = patterned<TopicSingle>({});
    bytes[146] = 0xEE;
    bytes[147] = 0xEE;
    TopicRecord record;
    fromSingle(bytes, record);
    const auto again = toSingle(record);
    EXPECT_EQ(again[146], 0);
    EXPECT_EQ(again[147], 0);
    EXPECT_TRUE(std::equal(again.begin(), again.begin() + 146, bytes.begin()));
}

TEST(ByteForms, ElementFormsRoundTripAnyCodeUnits)
{
    // Every 16-bit value survives the element form, lone surrogates included.
    ModuleElement module {};
    for (size_t i = 0; i < module.size(); ++i)
        module[i] = static_cast<uint8_t>((i * 131 + 7) % 256);
    ModuleRecord moduleRecord;
    fromElement(module.data(), moduleRecord);
    EXPECT_EQ(toElement(moduleRecord), module);

    CodingSystemElement system {};
    for (size_t i = 0; i < system.size(); ++i)
        system[i] = static_cast<uint8_t>(255 - i);
    CodingSystemRecord systemRecord;
    fromElement(system.data(), systemRecord);
    EXPECT_EQ(toElement(systemRecord), system);
    EXPECT_EQ(static_cast<uint32_t>(systemRecord.CodingSystemID), 0xFCFDFEFFu);

    TopicElement topic {};
    for (size_t i = 0; i < topic.size(); ++i)
        topic[i] = static_cast<uint8_t>((i * 53 + 3) % 256);
    TopicRecord topicRecord;
    fromElement(topic.data(), topicRecord);
    EXPECT_EQ(toElement(topicRecord), topic);

    CodeElement code {};
    for (size_t i = 0; i < code.size(); ++i)
        code[i] = static_cast<uint8_t>((i * 29 + 101) % 256);
    CodeRecord codeRecord;
    fromElement(code.data(), codeRecord);
    EXPECT_EQ(toElement(codeRecord), code);
}

TEST(ByteForms, RecordsRoundTripThroughTheSingleForm)
{
    TopicRecord topic;
    topic.TopicID = 2147483647;
    topic.ModuleID = -2147483647 - 1;
    topic.ParentID = 0;
    topic.HasChild = 1;
    topic.PatEdDocument = QStringLiteral("Prefix_asthma_pdf.htm");
    topic.Description = QString::fromUtf16(u"Caf\u00E9 \u20AC tab\there");
    TopicRecord back;
    fromSingle(toSingle(topic), back);
    EXPECT_EQ(back, topic);
}
