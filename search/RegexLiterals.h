#pragma once

#include <string>
#include <string_view>
#include <vector>

/// What every match of a pattern holds, read from the pattern's text: each entry of AllOf is a set of
/// strings, and every match holds at least one string of every set. Empty when nothing is known.
/// The scan looks for these with the literal finder before PCRE2 sees a line, so a line that holds
/// none of a set is known not to match without matching it.
struct RegexLiterals {
    std::vector<std::vector<std::string>> AllOf; ///< no set is empty or holds an empty string
    bool Folded = false; ///< the strings are folded (a..z as A..Z): compare them without case
};

/// The literals a PCRE2 pattern requires. Only what is sure is given: a construct the reader does not
/// know (a verb, a recursion, a conditional, the extended syntax) gives nothing for the whole pattern,
/// and a part it cannot pin down (a class of many bytes, a repeat that may be absent) requires nothing.
RegexLiterals RequiredLiterals(std::string_view pattern, bool caseSensitive);

/// How often a literal is expected to start at a given place of log-like text (1 for a common byte):
/// the smaller, the fewer candidates the literal finder stops at.
double LiteralFrequency(std::string_view literal, bool folded);

/// How often any literal of a set is expected to start at a given place: the sum of theirs.
double LiteralSetFrequency(const std::vector<std::string>& set, bool folded);
