// The records exchanged with the data-access library, as plain value types.
//
// Text fields have a fixed width of N characters. Assigning cuts the value to
// its first N characters or pads it on the right with blanks; a field that was
// never assigned holds N NUL characters. Readers trim blanks before they show
// or compare the text (trimmed()).
#pragma once

#include <QString>

#include <array>
#include <cstdint>

template <int N>
class FixedText {
public:
    static constexpr int width = N;

    FixedText() { m_chars.fill(u'\0'); }
    FixedText(const QString& value) { assign(value); } // NOLINT: assignment semantics on purpose

    FixedText& operator=(const QString& value)
    {
        assign(value);
        return *this;
    }

    void assign(const QString& value)
    {
        const int n = value.size() < N ? static_cast<int>(value.size()) : N;
        for (int i = 0; i < n; ++i)
            m_chars[i] = value.at(i).unicode();
        for (int i = n; i < N; ++i)
            m_chars[i] = u' ';
    }

    // Sets every character to NUL, as in a record that nobody has assigned.
    void clear() { m_chars.fill(u'\0'); }

    // All N characters, blanks and NULs included.
    QString text() const { return QString(reinterpret_cast<const QChar*>(m_chars.data()), N); }

    // The text with blanks (U+0020 only) removed from both ends.
    QString trimmed() const
    {
        int begin = 0;
        int end = N;
        while (begin < end && m_chars[begin] == u' ')
            ++begin;
        while (end > begin && m_chars[end - 1] == u' ')
            --end;
        return QString(reinterpret_cast<const QChar*>(m_chars.data() + begin), end - begin);
    }

    const std::array<char16_t, N>& chars() const { return m_chars; }
    std::array<char16_t, N>& chars() { return m_chars; }

    bool operator==(const FixedText& other) const = default;

private:
    std::array<char16_t, N> m_chars;
};

struct ModuleRecord {
    int32_t ModuleID = 0;
    FixedText<50> ModuleName;
    FixedText<50> DirectoryPrefix;
    bool operator==(const ModuleRecord&) const = default;
};

struct TopicRecord {
    int32_t TopicID = 0;
    int32_t ModuleID = 0;
    int32_t ParentID = 0;
    int32_t HasChild = 0;
    FixedText<50> PatEdDocument;
    FixedText<80> Description;
    bool operator==(const TopicRecord&) const = default;
};

struct CodeRecord {
    int32_t CodeID = 0;
    FixedText<50> Code;
    int32_t CodingSystemID = 0;
    int32_t CodeFlag = 0;
    FixedText<100> Description;
    FixedText<50> PatEdDocument;
    bool operator==(const CodeRecord&) const = default;
};

struct CodingSystemRecord {
    int32_t CodingSystemID = 0;
    FixedText<50> CodingSystemName;
    bool operator==(const CodingSystemRecord&) const = default;
};

// The program uses DefaultsKey and DefaultModule only; it hands every other
// field back to the library exactly as the library filled it.
struct PatEdDefaultsRecord {
    FixedText<6> DefaultsKey;
    FixedText<50> Setting02;
    uint32_t Setting03 = 0;
    FixedText<50> Setting04;
    uint32_t Setting05 = 0;
    FixedText<50> Setting06;
    FixedText<50> DefaultModule;
    FixedText<100> Setting08;
    uint32_t Setting09 = 0;
    FixedText<50> Setting10;
    FixedText<80> Setting11;
    uint32_t Setting12 = 0;
    FixedText<50> Setting13;
    FixedText<10> Setting14;
    FixedText<50> Setting15;
    FixedText<100> Setting16;
    FixedText<100> Setting17;
    bool operator==(const PatEdDefaultsRecord&) const = default;
};

struct CallStatus {
    FixedText<128> StatusText1;
    FixedText<64> StatusText2;
    uint32_t StatusValue1 = 0;
    uint32_t StatusValue2 = 0;
    uint32_t StatusValue3 = 0;
    uint32_t StatusValue4 = 0;
    bool operator==(const CallStatus&) const = default;
};
