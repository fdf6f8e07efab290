#pragma once

// What the parts of TQvEdit (qvtext*.cpp) share: plain text as the control keeps it, the control
// library's message boxes and the conversion both registered formats use.

#include <QString>

#include <memory>

class TConversion;

namespace QvText {

// Every break form (CR LF, CR, LF) becomes one paragraph break, as the platform reads plain text.
QString NormalizeBreaks(const QString& text);
QString FirstLine(const QString& text);
// The control library's message boxes: application title as caption, task-modal and on top.
int ShowLibraryMessage(const QString& text, unsigned flags);
std::unique_ptr<TConversion> MakeConversion();

} // namespace QvText
