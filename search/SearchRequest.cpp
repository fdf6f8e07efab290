#include "search/SearchRequest.h"

#include <charconv>

SearchOperator OperatorFromIndex(int index)
{
    switch (index) {
    case 1:
        return SearchOperator::Or;
    case 2:
        return SearchOperator::Xor;
    case 3:
        return SearchOperator::AndNot;
    default:
        // Nothing selected while search string 2 is typed: And is what the box offers first.
        return SearchOperator::And;
    }
}

std::string_view OperatorWord(SearchOperator op)
{
    switch (op) {
    case SearchOperator::And:
        return " and ";
    case SearchOperator::Or:
        return " or ";
    case SearchOperator::Xor:
        return " xor ";
    case SearchOperator::AndNot:
        return " and not ";
    case SearchOperator::None:
        break;
    }
    return {};
}

void FoldAsciiInto(std::string& out, std::string_view text)
{
    out.resize(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        out[i] = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    }
}

std::string FoldAscii(std::string_view text)
{
    std::string out;
    FoldAsciiInto(out, text);
    return out;
}

std::int32_t RefreshRateFromText(std::string_view text)
{
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error == std::errc::invalid_argument || end != text.data() + text.size()) {
        return MinRefreshRate;
    }
    if (error == std::errc::result_out_of_range) {
        return text.front() == '-' ? MinRefreshRate : MaxRefreshRate;
    }
    if (value < MinRefreshRate) {
        return MinRefreshRate;
    }
    if (value > MaxRefreshRate) {
        return MaxRefreshRate;
    }
    return static_cast<std::int32_t>(value);
}

SearchRequest PrepareRequest(const SearchInputs& inputs)
{
    SearchRequest request;
    if (!inputs.String2.empty()) {
        request.Operator = OperatorFromIndex(inputs.OperatorIndex);
        request.OperatorText = std::string(OperatorWord(request.Operator)) + inputs.String2;
    }
    request.CaseSensitive = inputs.CaseSensitive;
    request.Regex = inputs.Regex;
    // Folding a pattern's text would change its meaning (\d is not \D): PCRE2 folds as it matches.
    if (request.CaseSensitive || request.Regex) {
        request.Pattern1 = inputs.String1;
        request.Pattern2 = inputs.String2;
    } else {
        request.Pattern1 = FoldAscii(inputs.String1);
        request.Pattern2 = FoldAscii(inputs.String2);
    }
    request.Pattern1Text = inputs.String1;
    request.LineFormat = inputs.LineFormat;
    request.ReverseLogic = inputs.ReverseLogic;
    request.PromptForSave = inputs.PromptForSave;
    request.OneOccurrence = inputs.OneOccurrence;
    request.Verbose = inputs.Verbose;
    request.LineCounting = inputs.LineCounting;
    request.WordCounting = inputs.WordCounting;
    request.ProgressIndication = inputs.ProgressIndication;
    request.LineNumbering = inputs.LineNumbering;
    request.CountWords = inputs.WordCounting && inputs.String2.empty() && !inputs.ReverseLogic;
    request.RefreshRate = RefreshRateFromText(inputs.RefreshRateText);
    request.Decompress = inputs.Decompress;
    request.SkipBinary = inputs.SkipBinary;
    return request;
}

DecodeOptions DecodeOptionsOf(const SearchRequest& request)
{
    DecodeOptions options;
    options.Utf16 = true;
    options.Decompress = request.Decompress;
    options.Probe = request.SkipBinary ? BinaryProbeSize : 0;
    return options;
}
