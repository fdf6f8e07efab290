// What the user does to the text: editing commands, the selection, keys and input methods, the
// clipboard and drops, mouse buttons and the context menu.

#include "controls/richtext/qvtext.h"
#include "controls/richtext/qvtext_objects.h"
#include "controls/richtext/qvtext_shared.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QTextDocumentFragment>

#include <algorithm>
#include <cstring>

using QvText::FirstLine;
using QvText::NormalizeBreaks;

void TQvEdit::Undo()
{
    // A read-only control's text is not the user's to change, by undo neither.
    if (!FReadOnly) {
        undo();
    }
}

void TQvEdit::CutToClipboard()
{
    if (FPasswordChar.isNull()) {
        cut();
    }
}

void TQvEdit::CopyToClipboard()
{
    if (FPasswordChar.isNull()) {
        copy();
    }
}

void TQvEdit::PasteFromClipboard()
{
    paste();
}

void TQvEdit::ClearSelection()
{
    if (!FReadOnly) {
        textCursor().removeSelectedText();
    }
}

void TQvEdit::SelectAll()
{
    selectAll();
}

int TQvEdit::SelStart() const
{
    return textCursor().selectionStart();
}

void TQvEdit::SetSelStart(int value)
{
    QTextCursor c = textCursor();
    c.setPosition(std::clamp(value, 0, TextLength()));
    setTextCursor(c);
}

int TQvEdit::SelLength() const
{
    const QTextCursor c = textCursor();
    return c.selectionEnd() - c.selectionStart();
}

void TQvEdit::SetSelLength(int value)
{
    QTextCursor c = textCursor();
    const int start = c.selectionStart();
    c.setPosition(start);
    // In 64 bits: a huge length must select to the end, not wrap round to a negative position.
    c.setPosition(static_cast<int>(std::clamp<qint64>(qint64(start) + value, 0, TextLength())),
                  QTextCursor::KeepAnchor);
    setTextCursor(c);
    ensureCursorVisible();
}

QString TQvEdit::SelText() const
{
    QString text = textCursor().selectedText();
    for (QChar& c : text) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator) {
            c = u'\n';
        }
    }
    return text;
}

int TQvEdit::GetSelTextBuf(char* buffer, int bufferSize) const
{
    if (!buffer || bufferSize <= 0) {
        return 0;
    }
    const QString text = SelText();
    int copied = 0;
    // Whole characters only: a multi-byte character that does not fit is left out.
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype n = (text[i].isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const QByteArray bytes = text.mid(i, n).toLocal8Bit();
        if (copied + bytes.size() > bufferSize - 1) {
            break;
        }
        std::memcpy(buffer + copied, bytes.constData(), bytes.size());
        copied += bytes.size();
        i += n - 1;
    }
    buffer[copied] = '\0';
    return copied;
}

void TQvEdit::keyPressEvent(QKeyEvent* e)
{
    const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    // Enter on a selected object runs its primary verb, as a double-click does.
    if (enter && e->modifiers() == Qt::NoModifier && FObjects->OpenSelected()) {
        e->accept();
        return;
    }
    if (enter && (!FMultiLine || !FWantReturns)) {
        // No character; the key goes on to the window (a dialog's default button).
        e->ignore();
        return;
    }
    if (!FPasswordChar.isNull() && (e->matches(QKeySequence::Copy) || e->matches(QKeySequence::Cut))) {
        e->accept();
        return;
    }
    const QString typed = e->text();
    const bool inserts = !FReadOnly && !typed.isEmpty() &&
                         (typed[0].isPrint() || typed[0] == u'\t' || enter) &&
                         !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (inserts && e->key() == Qt::Key_Tab && !FWantTabs) {
        QTextEdit::keyPressEvent(e);
        return;
    }
    if (inserts) {
        if (TextLength() == 0 && !FPlainText) {
            // Nothing around to take a format from: typed text is default text.
            mergeCurrentCharFormat(FDefaultFormat);
        }
        const int room = Room();
        if (room <= 0) {
            QApplication::beep();
            e->accept();
            return;
        }
        if (typed.size() > room) {
            textCursor().insertText(typed.left(room));
            e->accept();
            return;
        }
        if (enter) {
            // A plain paragraph break, whatever the modifiers (no soft line breaks).
            textCursor().insertBlock();
            ensureCursorVisible();
            e->accept();
            return;
        }
    }
    QTextEdit::keyPressEvent(e);
}

void TQvEdit::inputMethodEvent(QInputMethodEvent* e)
{
    QString commit = e->commitString();
    if (!FMultiLine) {
        commit = FirstLine(commit);
    }
    const int room = Room();
    if (commit.size() > room) {
        commit.truncate(room);
    }
    if (commit != e->commitString()) {
        QInputMethodEvent trimmed(e->preeditString(), e->attributes());
        trimmed.setCommitString(commit, e->replacementStart(), e->replacementLength());
        QTextEdit::inputMethodEvent(&trimmed);
        return;
    }
    QTextEdit::inputMethodEvent(e);
}

bool TQvEdit::canInsertFromMimeData(const QMimeData* source) const
{
    return source->hasText() || FObjects->CanInsert(*source) ||
           (!FPlainText && QTextEdit::canInsertFromMimeData(source));
}

void TQvEdit::insertFromMimeData(const QMimeData* source)
{
    if (FReadOnly || !source) {
        return;
    }
    const int room = Room();
    if (room > 0 && FObjects->Insert(*source)) {
        return;
    }
    if (!FPlainText && FMultiLine && source->hasHtml()) {
        const QTextDocumentFragment fragment = QTextDocumentFragment::fromHtml(source->html(), document());
        if (fragment.toPlainText().size() <= room) {
            textCursor().insertFragment(fragment);
            ensureCursorVisible();
            return;
        }
    }
    if (!source->hasText()) {
        return;
    }
    QString text = NormalizeBreaks(source->text());
    if (!FMultiLine) {
        text = FirstLine(text);
    }
    text.truncate(room);
    if (text.isEmpty()) {
        if (room == 0) {
            QApplication::beep();
        }
        return;
    }
    textCursor().insertText(text);
    ensureCursorVisible();
}

QMimeData* TQvEdit::createMimeDataFromSelection() const
{
    if (!FPasswordChar.isNull()) {
        return new QMimeData;
    }
    if (FPlainText) {
        auto* data = new QMimeData;
        data->setText(SelText());
        return data;
    }
    QMimeData* data = QTextEdit::createMimeDataFromSelection();
    // Objects have no text: their characters stay out of the plain text.
    data->setText(data->text().remove(QChar::ObjectReplacementCharacter));
    FObjects->AddSelectedObject(*data);
    return data;
}

void TQvEdit::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::RightButton) {
        setFocus(Qt::MouseFocusReason);
        e->accept();
        return;
    }
    QTextEdit::mousePressEvent(e);
}

void TQvEdit::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::RightButton) {
        // The focus first, then the popup menu (through the context-menu event that follows).
        setFocus(Qt::MouseFocusReason);
        e->accept();
        return;
    }
    QTextEdit::mouseReleaseEvent(e);
}

void TQvEdit::contextMenuEvent(QContextMenuEvent* e)
{
    setFocus(Qt::OtherFocusReason);
    if (!FPopupMenu) {
        // The parents' menu, if any, handles it.
        e->ignore();
        return;
    }
    FPopupMenu->setProperty("PopupComponent", QVariant::fromValue<QObject*>(this));
    FPopupMenu->popup(e->globalPos());
    e->accept();
}

void TQvEdit::mouseDoubleClickEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && FObjects->OpenAt(e->position().toPoint())) {
        e->accept();
        return;
    }
    QTextEdit::mouseDoubleClickEvent(e);
}
