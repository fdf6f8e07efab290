// Find: the search over a document, and the find sequence the find dialog drives.

#include "controls/richtext/FindDialog.h"
#include "controls/richtext/qvtext.h"
#include "platform/Dialogs.h"

#include <QTextDocument>

#include <algorithm>

namespace {

bool IsWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

} // namespace

int FindTextEx(const QTextDocument& document, bool down, bool wholeWord, bool matchCase,
               TQvEdit::TFindRange& range)
{
    range.MatchMin = range.MatchMax = -1;
    const QString text = document.toPlainText();
    const QString& needle = range.Text;
    const int length = static_cast<int>(text.size());
    if (needle.isEmpty() || needle.size() > length) {
        return -1;
    }
    const Qt::CaseSensitivity cs = matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const int n = static_cast<int>(needle.size());
    auto wholeAt = [&](int at) {
        return !wholeWord ||
               ((at == 0 || !IsWordChar(text[at - 1])) && (at + n >= length || !IsWordChar(text[at + n])));
    };
    auto clampPos = [length](int p) { return p < 0 ? length : std::min(p, length); };

    if (down) {
        const int from = clampPos(range.Min);
        const int to = clampPos(range.Max);
        for (int at = static_cast<int>(text.indexOf(needle, from, cs)); at >= 0 && at + n <= to;
             at = static_cast<int>(text.indexOf(needle, at + 1, cs))) {
            if (wholeAt(at)) {
                range.MatchMin = at;
                range.MatchMax = at + n;
                return at;
            }
        }
    } else {
        const int from = clampPos(range.Min); // the higher end
        const int to = std::clamp(range.Max, 0, length);
        for (int at = from - n; at >= to; --at) {
            at = static_cast<int>(text.lastIndexOf(needle, at, cs));
            if (at < to) {
                break;
            }
            if (wholeAt(at)) {
                range.MatchMin = at;
                range.MatchMax = at + n;
                return at;
            }
        }
    }
    return -1;
}

void TQvEdit::Find()
{
    FFindDialog->Execute();
}

bool TQvEdit::AskToWrap()
{
    return AskToWrapFind();
}

void TQvEdit::FindNext()
{
    const bool down = FFindDialog->Down();
    if (FFindState == FreshSearch) {
        int start = SelStart();
        if (down) {
            if (start == TextLength()) {
                if (!AskToWrap()) {
                    FFindDialog->CloseDialog();
                    return;
                }
                start = 0;
                // The user already chose to start over: a miss now ends the sequence.
                FFindState = Wrapped;
            }
            FFindRange.Min = start;
            FFindRange.Max = TextLength();
        } else {
            if (start == 0) {
                if (!AskToWrap()) {
                    FFindDialog->CloseDialog();
                    return;
                }
                start = TextLength();
                FFindState = Wrapped;
            }
            FFindRange.Min = start;
            FFindRange.Max = 0;
        }
    }

    while (true) {
        FFindRange.Text = FFindDialog->FindText();
        const int found =
            FindTextEx(*document(), down, FFindDialog->WholeWord(), FFindDialog->MatchCase(), FFindRange);
        if (found >= 0) {
            SetSelLength(0);
            SetSelStart(FFindRange.MatchMin);
            SetSelLength(FFindRange.MatchMax - FFindRange.MatchMin);
            FFindRange.Min = down ? FFindRange.MatchMax : FFindRange.MatchMin;
            FFindState = Continuing;
            return;
        }
        if (FFindState != FreshSearch) {
            ShowFindComplete();
            FFindDialog->CloseDialog();
            return;
        }
        if (!AskToWrap()) {
            FFindDialog->CloseDialog();
            return;
        }
        FFindRange.Min = down ? 0 : TextLength();
        FFindState = Wrapped;
    }
}
