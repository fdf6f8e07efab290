#pragma once

#include <QByteArrayView>

class QTextDocument;

/// Reads rich text format (RTF) into a document, replacing its contents: text in the document's code
/// page, fonts, colours, bold/italic/underline/strike, sizes, paragraphs with alignment, indents,
/// spacing and tab stops, list bullets as written by the writer. An embedded object of one of the
/// program's own registered kinds becomes a live object; any other shows its \result text.
/// Destinations it does not show (pictures, headers, document information, style sheets) are left out. Any
/// input is accepted: malformed or truncated data yields whatever text could be read. Data that does not
/// start with "{\rtf" is taken as plain text. With maxCharacters >= 0 the reading stops once the
/// document holds more than that many characters (a few more may be read; the caller trims).
void ReadRtf(QByteArrayView rtf, QTextDocument& document, int maxCharacters = -1);

/// The largest paragraph measurement (indent, spacing, tab stop) in twips: 22 inches, the widest page
/// a writer makes. Larger values are taken as this, so that sums of them stay far inside the range of
/// lengths the text layout computes with.
inline constexpr int MaxMeasureTwips = 31680;

/// Pixels (at 96 per inch, the document's unit) for a length in twips, and back.
double TwipsToPixels(int twips);
int PixelsToTwips(double pixels);
