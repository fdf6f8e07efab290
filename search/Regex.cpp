#include "search/Regex.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <clocale>
#include <locale.h>
#include <pcre2.h>

namespace {

// Enough for every ordinary pattern, and few enough that a runaway one such as (a+)+$ on a long line of
// a ends in a small fraction of a second: the line is then reported as too complex.
constexpr std::uint32_t MatchLimit = 10'000'000;
constexpr std::uint32_t DepthLimit = 10'000'000;
constexpr std::uint32_t HeapLimitKiB = 20 * 1024;
// The JIT's own stack; a pattern that needs more is matched again by the interpreter, whose memory
// the heap limit bounds.
constexpr std::size_t JitStackStart = 32 * 1024;
constexpr std::size_t JitStackMax = 1024 * 1024;

// The subject of an empty line: PCRE2 wants a pointer even for no bytes.
constexpr char NoBytes[1] = {0};

/// Character tables made in the C locale, whatever the program's locale: only a..z and A..Z have a
/// case, \w and \d are ASCII, and no byte over 127 belongs to any class but its own.
const std::uint8_t* AsciiTables()
{
    static const std::uint8_t* const tables = [] {
        const locale_t c = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
        if (c == static_cast<locale_t>(nullptr)) {
            return static_cast<const std::uint8_t*>(nullptr); // PCRE2's own tables are the C locale's too
        }
        const locale_t previous = ::uselocale(c);
        const std::uint8_t* made = pcre2_maketables(nullptr);
        ::uselocale(previous);
        ::freelocale(c);
        return made; // kept for the life of the program, shared by every pattern
    }();
    return tables;
}

} // namespace

struct RegexPattern::Handles {
    pcre2_code* Code = nullptr;
    pcre2_match_data* Data = nullptr;
    pcre2_match_context* Context = nullptr;
    pcre2_jit_stack* Stack = nullptr;

    ~Handles()
    {
        pcre2_jit_stack_free(Stack);
        pcre2_match_context_free(Context);
        pcre2_match_data_free(Data);
        pcre2_code_free(Code);
    }
};

std::string RegexProblemText(int string, std::string_view reason, std::size_t position)
{
    std::string text = "Search string ";
    text += std::to_string(string);
    text += " is not a valid regular expression: ";
    text += reason;
    text += " (at position ";
    text += std::to_string(position);
    text += ")";
    return text;
}

std::unique_ptr<RegexPattern> RegexPattern::Compile(std::string_view pattern, bool caseSensitive,
                                                    LineFormat format, RegexProblem& problem)
{
    pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
    if (context == nullptr) {
        problem = {0, "not enough memory"};
        return nullptr;
    }
    if (const std::uint8_t* tables = AsciiTables()) {
        pcre2_set_character_tables(context, tables);
    }
    // A DOS line may hold LF as an ordinary byte, which '.' then matches; no line holds a CR. A Unix
    // line holds neither.
    pcre2_set_newline(context, format == LineFormat::Dos ? PCRE2_NEWLINE_CR : PCRE2_NEWLINE_ANYCRLF);
    // Bytes, never UTF-8 (a pattern asking for it is refused), and '$' only at the very end.
    std::uint32_t options = PCRE2_NEVER_UTF | PCRE2_NEVER_UCP | PCRE2_DOLLAR_ENDONLY;
    if (!caseSensitive) {
        options |= PCRE2_CASELESS;
    }
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.empty() ? NoBytes : pattern.data()),
                                     pattern.size(), options, &error, &offset, context);
    pcre2_compile_context_free(context);
    if (code == nullptr) {
        PCRE2_UCHAR message[256];
        const int length = pcre2_get_error_message(error, message, sizeof message);
        problem.Offset = offset;
        problem.Reason = length > 0 ? std::string(reinterpret_cast<const char*>(message), std::size_t(length))
                                    : "error " + std::to_string(error);
        return nullptr;
    }
    auto handles = std::make_unique<Handles>();
    handles->Code = code;
    // Only where a match is matters, never its groups.
    handles->Data = pcre2_match_data_create(1, nullptr);
    handles->Context = pcre2_match_context_create(nullptr);
    if (handles->Data == nullptr || handles->Context == nullptr) {
        problem = {0, "not enough memory"};
        return nullptr;
    }
    pcre2_set_match_limit(handles->Context, MatchLimit);
    pcre2_set_depth_limit(handles->Context, DepthLimit);
    pcre2_set_heap_limit(handles->Context, HeapLimitKiB);
    std::unique_ptr<RegexPattern> compiled(new RegexPattern(std::move(handles)));
    // Without a JIT (an unsupported machine, executable memory refused) the interpreter matches alone.
    if (pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) == 0) {
        compiled->F->Stack = pcre2_jit_stack_create(JitStackStart, JitStackMax, nullptr);
        if (compiled->F->Stack != nullptr) {
            pcre2_jit_stack_assign(compiled->F->Context, nullptr, compiled->F->Stack);
        }
        compiled->FJitted = true;
    }
    return compiled;
}

RegexPattern::RegexPattern(std::unique_ptr<Handles> handles)
    : F(std::move(handles))
{
}

RegexPattern::~RegexPattern() = default;

int RegexPattern::Run(const char* subject, std::size_t length, std::size_t start, std::uint32_t options)
{
    const auto* s = reinterpret_cast<PCRE2_SPTR>(length == 0 ? NoBytes : subject);
    if (FJitted) {
        const int rc = pcre2_jit_match(F->Code, s, length, start, options, F->Data, F->Context);
        if (rc != PCRE2_ERROR_JIT_STACKLIMIT) {
            return rc;
        }
        // Deeper than the JIT's stack: the interpreter keeps its frames on the heap, within its limit.
        options |= PCRE2_NO_JIT;
    }
    return pcre2_match(F->Code, s, length, start, options, F->Data, F->Context);
}

namespace {

RegexOutcome OutcomeOf(int rc)
{
    // 0 is a match whose groups did not fit the match data, which holds the whole match only.
    if (rc >= 0) {
        return RegexOutcome::Match;
    }
    if (rc == PCRE2_ERROR_NOMATCH) {
        return RegexOutcome::NoMatch;
    }
    // The limits, and whatever else keeps PCRE2 from an answer (memory): no answer for this line.
    return RegexOutcome::TooComplex;
}

} // namespace

RegexOutcome RegexPattern::Matches(const char* begin, const char* end)
{
    return OutcomeOf(Run(begin, static_cast<std::size_t>(end - begin), 0, 0));
}

RegexOutcome RegexPattern::Find(const char* begin, const char* end, std::size_t from, bool notEmptyAtFrom,
                                std::size_t& at, std::size_t& length)
{
    const RegexOutcome outcome = OutcomeOf(
        Run(begin, static_cast<std::size_t>(end - begin), from, notEmptyAtFrom ? PCRE2_NOTEMPTY_ATSTART : 0));
    if (outcome == RegexOutcome::Match) {
        const PCRE2_SIZE* span = pcre2_get_ovector_pointer(F->Data);
        at = span[0];
        // \K may put the start after the end only inside a lookaround, which the pattern may not do.
        length = span[1] > span[0] ? span[1] - span[0] : 0;
    }
    return outcome;
}

RegexOutcome RegexPattern::CountMatches(const char* begin, const char* end, std::int64_t& count)
{
    const auto size = static_cast<std::size_t>(end - begin);
    std::size_t from = 0;
    bool notEmpty = false;
    for (;;) {
        std::size_t at = 0;
        std::size_t length = 0;
        const RegexOutcome outcome = Find(begin, end, from, notEmpty, at, length);
        if (outcome != RegexOutcome::Match) {
            return outcome == RegexOutcome::TooComplex ? outcome : RegexOutcome::Match;
        }
        ++count;
        // After an empty match the next one must not be empty at the same place: it is a longer one
        // there, or one further on, which is what trying again one byte further would find.
        from = at + length;
        notEmpty = length == 0;
        if (from > size || (notEmpty && from == size)) {
            return RegexOutcome::Match;
        }
    }
}

std::optional<unsigned char> RegexPattern::FirstByte() const
{
    std::uint32_t type = 0;
    std::uint32_t unit = 0;
    if (pcre2_pattern_info(F->Code, PCRE2_INFO_FIRSTCODETYPE, &type) != 0 || type != 1 ||
        pcre2_pattern_info(F->Code, PCRE2_INFO_FIRSTCODEUNIT, &unit) != 0) {
        return std::nullopt;
    }
    return static_cast<unsigned char>(unit);
}

std::optional<unsigned char> RegexPattern::RequiredByte() const
{
    std::uint32_t type = 0;
    std::uint32_t unit = 0;
    if (pcre2_pattern_info(F->Code, PCRE2_INFO_LASTCODETYPE, &type) != 0 || type != 1 ||
        pcre2_pattern_info(F->Code, PCRE2_INFO_LASTCODEUNIT, &unit) != 0) {
        return std::nullopt;
    }
    return static_cast<unsigned char>(unit);
}
