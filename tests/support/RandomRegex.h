#pragma once

#include <random>
#include <string>

/// Random PCRE2 patterns from a small grammar over the bytes of RandomRegexText: literals (also in
/// other case, a byte over 127, a line end), classes, escapes, anchors, groups, alternations and
/// quantifiers, sometimes an inline (?i). A few do not compile (a quantifier after an anchor):
/// callers draw again.
inline std::string RandomRegex(std::mt19937& rng, int depth = 0)
{
    static const char* const atoms[] = {
        "a",    "b",     "A",     "B",   " ",           "ab",       "ba",    "aB",      "a b",  ".",   "[ab]",
        "[^a]", "[a-b]", "[AB ]", "\\w", "\\W",         "\\s",      "\\d",   "\\xe9",   "\xe9", "\\.", "^",
        "$",    "\\b",   "\\n",   "bb",  "[[:alpha:]]", "\\Qa.\\E", "(?=a)", "(?<!b)a", "\\Ba"};
    static const char* const quantifiers[] = {"*", "+", "?", "{2}", "{1,2}", "*?", "+", "{0,1}", "++"};
    std::string pattern;
    const int items = 1 + static_cast<int>(rng() % 4);
    for (int i = 0; i < items; ++i) {
        std::string item;
        if (depth < 2 && rng() % 5 == 0) {
            item = (rng() % 2 ? "(" : "(?:") + RandomRegex(rng, depth + 1) + "|" +
                   RandomRegex(rng, depth + 1) + ")";
        } else {
            item = atoms[rng() % std::size(atoms)];
        }
        if (rng() % 4 == 0) {
            // A quantifier repeats the last byte of a literal run, as in the pattern's own reading.
            item += quantifiers[rng() % std::size(quantifiers)];
        }
        pattern += item;
    }
    if (depth == 0 && rng() % 12 == 0) {
        pattern = "(?i)" + pattern;
    }
    if (depth == 0 && rng() % 10 == 0) {
        pattern += "|" + RandomRegex(rng, 1);
    }
    return pattern;
}

/// Random text over a, b in both cases, blanks, byte 233 and line ends (LF only, CR LF, or mixed),
/// now and then a byte 26.
inline std::string RandomRegexText(std::mt19937& rng, std::size_t maxSize = 600)
{
    static const std::string alphabets[] = {"aAbB  a\n\n\xe9", "aAbB  a\r\n\r\n\xe9", "aAbB  a\r\n\n\r\xe9"};
    const std::string& alphabet = alphabets[rng() % std::size(alphabets)];
    std::string s(rng() % maxSize, ' ');
    for (char& c : s) {
        c = alphabet[rng() % alphabet.size()];
    }
    if (!s.empty() && rng() % 10 == 0) {
        s[rng() % s.size()] = 26;
    }
    return s;
}
