// The patterns of SearchCodes, and the case folding they compare with.
//
// A pattern matches a code when the code starts with the trimmed pattern, or
// when every blank-separated word of the pattern begins a word of the code's
// description. A word of a description begins at its start or after a
// character that is neither a letter nor a digit ("(acute)" has the word
// "acute"). Both comparisons ignore case: text is folded to small letters
// first, for ASCII, Latin-1, Latin Extended-A, Greek (accented letters and
// the final sigma included) and Cyrillic, which together hold every letter
// of the single-byte ANSI code pages. Text is UTF-8; a byte that starts no
// well-formed sequence compares as itself.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kovadel {

// The small letter of `c`, or `c` itself when it has none in the ranges above.
char32_t foldCase(char32_t c);
// UTF-8 text as code points, each folded.
std::u32string foldedText(std::string_view utf8);

class CodePattern {
public:
    explicit CodePattern(std::string_view utf8);

    // A blank or empty pattern matches every code.
    bool matchesAll() const { return m_words.empty(); }
    bool matches(std::string_view code, std::string_view description) const;

private:
    std::u32string m_prefix; // the trimmed pattern, folded
    std::vector<std::u32string> m_words; // its blank-separated words, folded
};

} // namespace kovadel
