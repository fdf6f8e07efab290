// Reads a PCRE2 pattern far enough to know which literal strings every match must hold, as ripgrep
// does with its own regex syntax. Each part of the pattern is described either exactly (the finite set
// of strings it matches) or by what it requires (sets of strings, one of each set in every match).
// Whatever the reader is not sure of requires nothing: a prefilter may let through lines that do not
// match, never keep back one that does.

#include "search/RegexLiterals.h"

#include "search/LiteralFinder.h"

#include <algorithm>
#include <bitset>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

constexpr std::size_t MaxSet = 16; // strings an exact description, or a required set, may hold
constexpr std::size_t MaxLength = 64; // bytes of one string of an exact description
constexpr std::size_t MaxClass = 8; // bytes of a class still described exactly

// Escapes outside a class that stand for text of their own kind (\d, \R, ...), for none (\b, \K, a
// lone \E), and inside a class for a class; then the escapes of one named byte and those bytes.
constexpr std::string_view AnyTextEscapes = "dDwWsShHvVNRXC";
constexpr std::string_view NoTextEscapes = "bBAzZGKE";
constexpr std::string_view ClassEscapes = "dDwWsShHvV";
constexpr std::string_view NamedBytes = "tnrfea";
constexpr char NamedByteValues[] = {9, 10, 13, 12, 27, 7};

using StringSet = std::vector<std::string>;

struct Info {
    bool Exact = false;
    StringSet Strings; // Exact: every string the part can match
    std::vector<StringSet> AllOf; // otherwise: what every match of the part holds

    static Info Any() { return {}; }
    static Info Empty() { return {true, {std::string()}, {}}; }
    static Info Of(StringSet strings) { return {true, std::move(strings), {}}; }
};

bool HoldsEmpty(const StringSet& set)
{
    return std::find(set.begin(), set.end(), std::string()) != set.end();
}

void AddUnique(StringSet& set, const std::string& s)
{
    if (std::find(set.begin(), set.end(), s) == set.end()) {
        set.push_back(s);
    }
}

/// Adds what a part requires to a list of requirements.
void Require(std::vector<StringSet>& required, const Info& part)
{
    if (part.Exact) {
        if (!part.Strings.empty() && !HoldsEmpty(part.Strings)) {
            required.push_back(part.Strings);
        }
        return;
    }
    required.insert(required.end(), part.AllOf.begin(), part.AllOf.end());
}

/// The rarest set a part requires, or nullptr when it requires nothing.
const StringSet* RarestSet(const Info& part, bool folded)
{
    if (part.Exact) {
        return part.Strings.empty() || HoldsEmpty(part.Strings) ? nullptr : &part.Strings;
    }
    const StringSet* best = nullptr;
    double least = std::numeric_limits<double>::infinity();
    for (const StringSet& set : part.AllOf) {
        if (const double f = LiteralSetFrequency(set, folded); f < least) {
            least = f;
            best = &set;
        }
    }
    return best;
}

/// The strings of a followed by those of b, when there are not too many of them.
bool Concatenate(Info& a, const Info& b)
{
    if (a.Strings.size() * b.Strings.size() > MaxSet) {
        return false;
    }
    StringSet joined;
    for (const std::string& x : a.Strings) {
        for (const std::string& y : b.Strings) {
            if (x.size() + y.size() > MaxLength) {
                return false;
            }
            AddUnique(joined, x + y);
        }
    }
    a.Strings = std::move(joined);
    return true;
}

char Fold(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsAlnum(char c)
{
    return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

int HexValue(char c)
{
    if (IsDigit(c)) {
        return c - '0';
    }
    const char lower = static_cast<char>(c | 0x20);
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

/// Whether some part of the pattern may compare without case: (?i) and the like.
bool SetsCaseless(std::string_view p)
{
    for (std::size_t at = p.find("(?"); at != std::string_view::npos; at = p.find("(?", at + 1)) {
        for (std::size_t i = at + 2;
             i < p.size() && std::string_view("imnsxUJ^-").find(p[i]) != std::string_view::npos; ++i) {
            if (p[i] == 'i') {
                return true;
            }
        }
    }
    return false;
}

class Reader {
public:
    Reader(std::string_view pattern, bool folded)
        : FP(pattern)
        , FFolded(folded)
    {
    }

    /// The whole pattern; false when some of it is beyond the reader.
    bool Read(Info& out)
    {
        out = Alternation();
        return !FFailed && FPos == FP.size();
    }

private:
    bool AtEnd() const { return FPos >= FP.size(); }
    bool Next(char c) const { return FPos < FP.size() && FP[FPos] == c; }
    bool NextIs(std::string_view s) const { return FP.substr(FPos, s.size()) == s; }

    Info Fail()
    {
        FFailed = true;
        return Info::Any();
    }

    Info Byte(char c) const { return Info::Of({std::string(1, FFolded ? Fold(c) : c)}); }

    Info Alternation()
    {
        std::vector<Info> branches{Sequence()};
        while (!FFailed && Next('|')) {
            ++FPos;
            branches.push_back(Sequence());
        }
        if (branches.size() == 1) {
            return std::move(branches[0]);
        }
        if (std::all_of(branches.begin(), branches.end(), [](const Info& b) { return b.Exact; })) {
            StringSet all;
            for (const Info& branch : branches) {
                for (const std::string& s : branch.Strings) {
                    AddUnique(all, s);
                }
            }
            if (all.size() <= MaxSet) {
                return Info::Of(std::move(all));
            }
        }
        // Every match is one branch's: it holds one string of the rarest set of that branch.
        StringSet either;
        for (const Info& branch : branches) {
            const StringSet* set = RarestSet(branch, FFolded);
            if (set == nullptr) {
                return Info::Any();
            }
            for (const std::string& s : *set) {
                AddUnique(either, s);
            }
        }
        if (either.size() > MaxSet) {
            return Info::Any();
        }
        Info out;
        out.AllOf.push_back(std::move(either));
        return out;
    }

    Info Sequence()
    {
        Info run = Info::Empty(); // the exact part being gathered
        std::vector<StringSet> required;
        bool exact = true;
        while (!FFailed && !AtEnd() && (FQuoting || (!Next('|') && !Next(')')))) {
            Info atom = Atom();
            SkipIgnored();
            const bool thenMore = Quantify(atom);
            if (FFailed) {
                break;
            }
            if (atom.Exact) {
                if (!Concatenate(run, atom)) {
                    Require(required, run);
                    run = std::move(atom);
                    exact = false;
                }
                if (thenMore) {
                    // What follows the repeats is unknown: the run ends with them.
                    Require(required, run);
                    run = Info::Empty();
                    exact = false;
                }
                continue;
            }
            Require(required, run);
            run = Info::Empty();
            required.insert(required.end(), atom.AllOf.begin(), atom.AllOf.end());
            exact = false;
        }
        if (exact) {
            return run;
        }
        Require(required, run);
        Info out;
        out.AllOf = std::move(required);
        return out;
    }

    /// \E, and an empty \Q\E, mean nothing outside a quotation; a quantifier after them repeats what
    /// came before them.
    void SkipIgnored()
    {
        while (!FQuoting) {
            if (NextIs("\\E")) {
                FPos += 2;
            } else if (NextIs("\\Q\\E")) {
                FPos += 4;
            } else {
                return;
            }
        }
    }

    Info Atom()
    {
        if (FQuoting) {
            const char c = FP[FPos++];
            if (NextIs("\\E")) {
                FPos += 2;
                FQuoting = false;
            }
            return Byte(c);
        }
        const char c = FP[FPos++];
        switch (c) {
        case '(':
            return Group();
        case '[':
            return Class();
        case '.':
            return Info::Any();
        case '^':
        case '$':
            return Info::Empty();
        case '\\':
            return Escape();
        case '*':
        case '+':
        case '?':
            return Fail(); // a quantifier with nothing to repeat does not compile
        case '{':
            if (QuantifierLike(FPos - 1)) {
                return Fail();
            }
            return Byte(c);
        default:
            return Byte(c);
        }
    }

    /// Whether a brace at at may be read as a quantifier by some PCRE2 version ({,3}, { 2 }).
    bool QuantifierLike(std::size_t at) const
    {
        const std::size_t close = FP.find('}', at);
        if (close == std::string_view::npos) {
            return false;
        }
        const std::string_view inside = FP.substr(at + 1, close - at - 1);
        return std::all_of(inside.begin(), inside.end(),
                           [](char c) { return IsDigit(c) || c == ',' || c == ' ' || c == '\t'; });
    }

    /// A strict quantifier {n}, {n,} or {n,m} at FPos; moves past it.
    bool Braces(std::size_t& min, std::size_t& max)
    {
        std::size_t i = FPos + 1;
        auto number = [&](std::size_t& value) {
            const std::size_t start = i;
            value = 0;
            while (i < FP.size() && IsDigit(FP[i]) && i - start < 6) {
                value = value * 10 + static_cast<std::size_t>(FP[i++] - '0');
            }
            return i > start;
        };
        if (!number(min)) {
            return false;
        }
        max = min;
        if (i < FP.size() && FP[i] == ',') {
            ++i;
            max = std::numeric_limits<std::size_t>::max();
            if (i < FP.size() && IsDigit(FP[i]) && !number(max)) {
                return false;
            }
        }
        if (i >= FP.size() || FP[i] != '}') {
            return false;
        }
        FPos = i + 1;
        return true;
    }

    /// Applies a quantifier that follows the atom, if any. True when the atom now stands for the
    /// strings its fewest repeats give, which more of unknown text may follow (x{2,} as xx and more).
    bool Quantify(Info& atom)
    {
        if (AtEnd() || FQuoting) {
            return false;
        }
        std::size_t min = 1;
        std::size_t max = 1;
        switch (FP[FPos]) {
        case '*':
            min = 0;
            max = std::numeric_limits<std::size_t>::max();
            ++FPos;
            break;
        case '+':
            max = std::numeric_limits<std::size_t>::max();
            ++FPos;
            break;
        case '?':
            min = 0;
            ++FPos;
            break;
        case '{':
            if (!Braces(min, max)) {
                if (QuantifierLike(FPos)) {
                    Fail();
                }
                return false;
            }
            break;
        default:
            return false;
        }
        if (Next('+') || Next('?')) {
            ++FPos; // possessive or lazy: the same strings
        }
        if (!AtEnd() && std::string_view("*+?{").find(FP[FPos]) != std::string_view::npos) {
            Fail(); // a quantifier after a quantifier: not worth knowing what it means
            return false;
        }
        if (min == 0) {
            if (max == 1 && atom.Exact) {
                AddUnique(atom.Strings, std::string());
            } else {
                atom = Info::Any();
            }
            return false;
        }
        if (atom.Exact && min <= 4) {
            Info repeated = Info::Empty();
            bool fits = true;
            for (std::size_t k = 0; k < min && fits; ++k) {
                fits = Concatenate(repeated, atom);
            }
            if (fits) {
                atom = std::move(repeated);
                return max != min;
            }
        }
        // At least once: whatever one time requires.
        Info once;
        Require(once.AllOf, atom);
        atom = std::move(once);
        return false;
    }

    Info Group()
    {
        bool zeroWidth = false;
        if (Next('*')) {
            return Fail(); // a verb or a start option
        }
        if (Next('?')) {
            ++FPos;
            if (AtEnd()) {
                return Fail();
            }
            const char k = FP[FPos];
            if (k == ':' || k == '>' || k == '|') {
                ++FPos;
            } else if (k == '=' || k == '!') {
                ++FPos;
                zeroWidth = true;
            } else if (k == '<' && FPos + 1 < FP.size() && (FP[FPos + 1] == '=' || FP[FPos + 1] == '!')) {
                FPos += 2;
                zeroWidth = true;
            } else if (k == '<' || k == '\'' || (k == 'P' && NextIs("P<"))) {
                const char close = k == '\'' ? '\'' : '>';
                const std::size_t end = FP.find(close, FPos + (k == 'P' ? 2 : 1));
                if (end == std::string_view::npos) {
                    return Fail();
                }
                FPos = end + 1;
            } else if (k == '#') {
                const std::size_t end = FP.find(')', FPos);
                if (end == std::string_view::npos) {
                    return Fail();
                }
                FPos = end + 1;
                return Info::Empty();
            } else {
                // Option letters, alone or opening a group; the extended syntax reads the rest otherwise.
                std::size_t i = FPos;
                while (i < FP.size() && std::string_view("imnsUJ^-").find(FP[i]) != std::string_view::npos) {
                    ++i;
                }
                if (i == FPos || i >= FP.size() || (FP[i] != ')' && FP[i] != ':')) {
                    return Fail(); // recursion, a conditional, a callout, (?x)...
                }
                FPos = i + 1;
                if (FP[i] == ')') {
                    return Info::Empty();
                }
            }
        }
        Info inside = Alternation();
        if (FFailed || !Next(')')) {
            return Fail();
        }
        ++FPos;
        return zeroWidth ? Info::Empty() : inside;
    }

    /// Skips a name or number in the brackets that follow (\g{..}, \k<..>, \p{..}).
    bool SkipBracketed()
    {
        if (AtEnd()) {
            return false;
        }
        const char open = FP[FPos];
        const char close = open == '{' ? '}' : open == '<' ? '>' : open == '\'' ? '\'' : 0;
        if (close == 0) {
            return false;
        }
        const std::size_t end = FP.find(close, FPos + 1);
        if (end == std::string_view::npos) {
            return false;
        }
        FPos = end + 1;
        return true;
    }

    /// A byte given by an escape (\t, \x41, \0101, \o{101}, \.), or -1 when the escape is no byte.
    int EscapedByte(char e)
    {
        if (const std::size_t named = NamedBytes.find(e); named != std::string_view::npos) {
            return static_cast<unsigned char>(NamedByteValues[named]);
        }
        switch (e) {
        case 'x': {
            int value = 0;
            if (Next('{')) {
                const std::size_t end = FP.find('}', FPos);
                if (end == std::string_view::npos || end == FPos + 1) {
                    return -1;
                }
                for (std::size_t i = FPos + 1; i < end; ++i) {
                    const int h = HexValue(FP[i]);
                    if (h < 0 || (value = value * 16 + h) > 255) {
                        return -1;
                    }
                }
                FPos = end + 1;
                return value;
            }
            for (int n = 0; n < 2 && !AtEnd() && HexValue(FP[FPos]) >= 0; ++n) {
                value = value * 16 + HexValue(FP[FPos++]);
            }
            return value;
        }
        case '0': {
            int value = 0;
            for (int n = 0; n < 2 && !AtEnd() && FP[FPos] >= '0' && FP[FPos] <= '7'; ++n) {
                value = value * 8 + (FP[FPos++] - '0');
            }
            return value;
        }
        case 'o': {
            const std::size_t end = FP.find('}', FPos);
            if (!Next('{') || end == std::string_view::npos || end == FPos + 1) {
                return -1;
            }
            int value = 0;
            for (std::size_t i = FPos + 1; i < end; ++i) {
                if (FP[i] < '0' || FP[i] > '7' || (value = value * 8 + (FP[i] - '0')) > 255) {
                    return -1;
                }
            }
            FPos = end + 1;
            return value;
        }
        default:
            return IsAlnum(e) ? -1 : static_cast<unsigned char>(e);
        }
    }

    Info Escape()
    {
        if (AtEnd()) {
            return Fail();
        }
        const char e = FP[FPos++];
        if (AnyTextEscapes.find(e) != std::string_view::npos) {
            return Info::Any();
        }
        if (NoTextEscapes.find(e) != std::string_view::npos) {
            return Info::Empty();
        }
        switch (e) {
        case 'Q':
            if (NextIs("\\E")) {
                FPos += 2;
                return Info::Empty();
            }
            if (AtEnd()) {
                return Info::Empty();
            }
            FQuoting = true;
            return Atom();
        case 'c':
            // A control character: known, but not worth decoding.
            if (AtEnd()) {
                return Fail();
            }
            ++FPos;
            return Info::Any();
        case 'p':
        case 'P':
            if (Next('{')) {
                return SkipBracketed() ? Info::Any() : Fail();
            }
            if (AtEnd()) {
                return Fail();
            }
            ++FPos;
            return Info::Any();
        case 'g':
            // A back reference or a subroutine call: some text, nothing known of it.
            if (Next('+') || Next('-')) {
                ++FPos;
            }
            if (!AtEnd() && IsDigit(FP[FPos])) {
                while (!AtEnd() && IsDigit(FP[FPos])) {
                    ++FPos;
                }
                return Info::Any();
            }
            return SkipBracketed() ? Info::Any() : Fail();
        case 'k':
            return SkipBracketed() ? Info::Any() : Fail();
        default:
            break;
        }
        if (e >= '1' && e <= '9') {
            // A back reference, or an octal character: either way nothing is required of it.
            while (!AtEnd() && IsDigit(FP[FPos])) {
                ++FPos;
            }
            return Info::Any();
        }
        const int byte = EscapedByte(e);
        return byte < 0 ? Fail() : Byte(static_cast<char>(byte));
    }

    Info Class()
    {
        std::bitset<256> bytes;
        bool wide = false; // some member is a class of its own (\d, [:alpha:]) or unknown
        const bool negated = Next('^');
        if (negated) {
            ++FPos;
        }
        bool first = true;
        for (;;) {
            if (AtEnd()) {
                return Fail();
            }
            if (Next(']') && !first) {
                ++FPos;
                break;
            }
            first = false;
            if (Next('[') && FPos + 1 < FP.size() &&
                std::string_view(":.=").find(FP[FPos + 1]) != std::string_view::npos) {
                const char kind = FP[FPos + 1];
                const std::size_t end = FP.find(std::string{kind, ']'}, FPos + 2);
                if (end != std::string_view::npos) {
                    FPos = end + 2;
                    wide = true;
                    continue;
                }
            }
            int low = ClassMember(wide);
            if (FFailed) {
                return Info::Any();
            }
            if (low < 0) {
                continue;
            }
            if (Next('-') && FPos + 1 < FP.size() && FP[FPos + 1] != ']') {
                ++FPos;
                bool rangeWide = false;
                const int high = ClassMember(rangeWide);
                if (FFailed) {
                    return Info::Any();
                }
                if (high < 0 || rangeWide) {
                    wide = true; // "a-\d" and the like: not worth the detail
                    continue;
                }
                if (high < low) {
                    return Fail();
                }
                for (int b = low; b <= high; ++b) {
                    bytes.set(static_cast<std::size_t>(b));
                }
                continue;
            }
            bytes.set(static_cast<std::size_t>(low));
        }
        if (negated || wide) {
            return Info::Any();
        }
        StringSet set;
        for (int b = 0; b < 256; ++b) {
            if (bytes.test(static_cast<std::size_t>(b))) {
                const char c = static_cast<char>(b);
                AddUnique(set, std::string(1, FFolded ? Fold(c) : c));
                if (set.size() > MaxClass) {
                    return Info::Any();
                }
            }
        }
        return set.empty() ? Info::Any() : Info::Of(std::move(set));
    }

    /// One member of a class: its byte, or -1 with wide set (a class escape, a quotation).
    int ClassMember(bool& wide)
    {
        const char c = FP[FPos++];
        if (c != '\\') {
            return static_cast<unsigned char>(c);
        }
        if (AtEnd()) {
            Fail();
            return -1;
        }
        const char e = FP[FPos++];
        if (ClassEscapes.find(e) != std::string_view::npos) {
            wide = true;
            return -1;
        }
        switch (e) {
        case 'p':
        case 'P':
            wide = true;
            if (Next('{')) {
                if (!SkipBracketed()) {
                    Fail();
                }
            } else if (!AtEnd()) {
                ++FPos;
            }
            return -1;
        case 'b':
            return 8;
        case 'E':
            return -1;
        case 'Q': {
            // Quoted members may hold ']': skip them, and know nothing of the class.
            const std::size_t end = FP.find("\\E", FPos);
            FPos = end == std::string_view::npos ? FP.size() : end + 2;
            wide = true;
            return -1;
        }
        default:
            break;
        }
        const int byte = e >= '1' && e <= '9' ? -1 : EscapedByte(e);
        if (byte < 0) {
            wide = true;
            if (IsAlnum(e)) {
                Fail(); // \c, \N and the like in a class: beyond the reader
            }
        }
        return byte;
    }

    std::string_view FP;
    std::size_t FPos = 0;
    bool FFolded;
    bool FFailed = false;
    bool FQuoting = false; // inside \Q...\E
};

double ByteFrequency(unsigned char c, bool folded)
{
    auto share = [](unsigned char b) { return std::exp2((LiteralFinder::ByteRank(b) - 255) / 24.0); };
    const unsigned char lower = c | 0x20;
    if (folded && lower >= 'a' && lower <= 'z') {
        return std::min(1.0, share(lower) + share(static_cast<unsigned char>(lower - 32)));
    }
    return share(c);
}

} // namespace

double LiteralFrequency(std::string_view literal, bool folded)
{
    // The finder's lanes compare two bytes of the literal: its two rarest.
    double rarest = 1;
    double second = 1;
    for (const char c : literal) {
        const double f = ByteFrequency(static_cast<unsigned char>(c), folded);
        if (f < rarest) {
            second = rarest;
            rarest = f;
        } else if (f < second) {
            second = f;
        }
    }
    return literal.size() > 1 ? rarest * second : rarest;
}

double LiteralSetFrequency(const std::vector<std::string>& set, bool folded)
{
    double sum = 0;
    for (const std::string& s : set) {
        sum += LiteralFrequency(s, folded);
    }
    return sum;
}

RegexLiterals RequiredLiterals(std::string_view pattern, bool caseSensitive)
{
    RegexLiterals out;
    out.Folded = !caseSensitive || SetsCaseless(pattern);
    Reader reader(pattern, out.Folded);
    Info info;
    if (reader.Read(info)) {
        Require(out.AllOf, info);
    }
    return out;
}
