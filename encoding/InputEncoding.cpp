#include "encoding/InputEncoding.h"

#include "encoding/Utf8.h"

namespace encoding {

namespace {

bool startsWith(std::string_view bytes, std::string_view mark)
{
    return bytes.size() >= mark.size() && bytes.substr(0, mark.size()) == mark;
}

constexpr std::string_view kUtf8Mark("\xEF\xBB\xBF", 3);
constexpr std::string_view kUtf16LittleEndianMark("\xFF\xFE", 2);
constexpr std::string_view kUtf16BigEndianMark("\xFE\xFF", 2);

} // namespace

TextEncoding detectEncoding(std::string_view bytes)
{
    if (startsWith(bytes, kUtf8Mark))
        return TextEncoding::Utf8WithMark;
    if (startsWith(bytes, kUtf16LittleEndianMark) || startsWith(bytes, kUtf16BigEndianMark))
        return TextEncoding::Utf16;
    bool multiByte = false;
    if (isWellFormedUtf8(bytes, &multiByte) && multiByte)
        return TextEncoding::Utf8;
    return TextEncoding::Ansi;
}

size_t markLength(TextEncoding form)
{
    switch (form) {
    case TextEncoding::Utf8WithMark:
        return kUtf8Mark.size();
    case TextEncoding::Utf16:
        return kUtf16LittleEndianMark.size();
    case TextEncoding::Ansi:
    case TextEncoding::Utf8:
        break;
    }
    return 0;
}

} // namespace encoding
