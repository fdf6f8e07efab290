#include "app/editor.h"

#include "platform/Shell.h"

#include <QFileInfo>

namespace {

enum class TLineStyle { None, Plus, DashL, DashG };

// How an editor takes a line, by its program's name.
TLineStyle LineStyleOf(const QString& program)
{
    const QString name = QFileInfo(program).fileName();
    static const QStringList plus{
        "vim",   "vi",          "nvim", "gvim",  "vim.basic",         "vim.tiny", "vim.gtk3",
        "emacs", "emacsclient", "nano", "gedit", "gnome-text-editor", "pluma",    "xed"};
    static const QStringList dashL{"kate", "kwrite"};
    static const QStringList dashG{"code", "codium", "code-oss", "vscodium", "code-insiders"};
    if (plus.contains(name)) {
        return TLineStyle::Plus;
    }
    if (dashL.contains(name)) {
        return TLineStyle::DashL;
    }
    if (dashG.contains(name)) {
        return TLineStyle::DashG;
    }
    return TLineStyle::None;
}

bool IsFieldCode(const QString& word)
{
    return word.size() == 2 && word[0] == u'%' && word[1] != u'%';
}

bool IsFileFieldCode(const QString& word)
{
    return word == u"%f" || word == u"%F" || word == u"%u" || word == u"%U";
}

// "%%" in a desktop entry stands for a percent sign; other codes inside a word are dropped.
QString WithoutFieldCodes(const QString& word)
{
    QString out;
    for (qsizetype i = 0; i < word.size(); ++i) {
        if (word[i] == u'%' && i + 1 < word.size()) {
            if (word[i + 1] == u'%') {
                out += u'%';
            }
            ++i;
            continue;
        }
        out += word[i];
    }
    return out;
}

TEditorLaunch FromWords(QStringList words)
{
    TEditorLaunch launch;
    if (!words.isEmpty()) {
        launch.Program = words.takeFirst();
        launch.Arguments = words;
    }
    return launch;
}

} // namespace

std::function<QString()> DesktopTextEditorQuestion = AskXdgMimeTextEditor;

QStringList SplitCommandWords(const QString& Command)
{
    QStringList words;
    QString word;
    bool inWord = false;
    QChar quote;
    for (qsizetype i = 0; i < Command.size(); ++i) {
        const QChar c = Command[i];
        if (quote.isNull() && (c == u' ' || c == u'\t')) {
            if (inWord) {
                words << word;
                word.clear();
                inWord = false;
            }
            continue;
        }
        inWord = true;
        if (c == u'\\' && quote != u'\'' && i + 1 < Command.size()) {
            word += Command[++i];
        } else if (quote.isNull() && (c == u'"' || c == u'\'')) {
            quote = c;
        } else if (c == quote) {
            quote = QChar();
        } else {
            word += c;
        }
    }
    if (inWord) {
        words << word;
    }
    return words;
}

TEditorLaunch LaunchFromCommand(const QString& Command, const QString& File, std::int64_t Line)
{
    const QString line = QString::number(Line > 0 ? Line : 1);
    QStringList words;
    bool hasFile = false;
    for (const QString& word : SplitCommandWords(Command)) {
        QString out;
        for (qsizetype i = 0; i < word.size(); ++i) {
            if (word[i] != u'%' || i + 1 == word.size()) {
                out += word[i];
                continue;
            }
            const QChar code = word[++i];
            if (code == u'f') {
                out += File;
                hasFile = true;
            } else if (code == u'l') {
                out += line;
            } else if (code == u'%') {
                out += u'%';
            } else {
                out += u'%';
                out += code;
            }
        }
        words << out;
    }
    if (!words.isEmpty() && !hasFile) {
        words << File;
    }
    return FromWords(words);
}

TEditorLaunch LaunchFromDesktopExec(const QString& Exec, bool Terminal, const QString& File,
                                    std::int64_t Line)
{
    const QStringList exec = SplitCommandWords(Exec);
    // "env NAME=value editor ..." names its editor after the settings.
    qsizetype programAt = 0;
    if (!exec.isEmpty() && QFileInfo(exec[0]).fileName() == u"env") {
        programAt = 1;
        while (programAt < exec.size() && exec[programAt].contains(u'=')) {
            ++programAt;
        }
    }
    const TLineStyle style =
        programAt < exec.size() && Line > 0 ? LineStyleOf(exec[programAt]) : TLineStyle::None;
    const QString line = QString::number(Line);
    QStringList words;
    bool placed = false;
    for (const QString& word : exec) {
        if (IsFileFieldCode(word)) {
            if (style == TLineStyle::None && !placed) {
                words << File;
                placed = true;
            }
            continue;
        }
        if (IsFieldCode(word)) {
            continue; // %i %c %k: icon, name and entry location, nothing an editor needs here
        }
        words << WithoutFieldCodes(word);
    }
    switch (style) {
    case TLineStyle::Plus:
        words << QLatin1Char('+') + line << File;
        break;
    case TLineStyle::DashL:
        words << QStringLiteral("-l") << line << File;
        break;
    case TLineStyle::DashG:
        words << QStringLiteral("-g") << File + QLatin1Char(':') + line;
        break;
    case TLineStyle::None:
        if (!placed && !words.isEmpty()) {
            words << File;
        }
        break;
    }
    if (Terminal && !words.isEmpty()) {
        words = QStringList{QStringLiteral("x-terminal-emulator"), QStringLiteral("-e")} + words;
    }
    return FromWords(words);
}

QString DefaultTextEditorEntry(const TXdgFolders& Folders, const std::function<QString()>& AskDesktop)
{
    QString entry;
    if (AskDesktop) {
        entry = FindDesktopEntry(AskDesktop().trimmed(), Folders);
    }
    if (entry.isEmpty()) {
        const QString id = MimeAppsDefault(Folders, QStringLiteral("text/plain"));
        if (!id.isEmpty()) {
            entry = FindDesktopEntry(id, Folders);
        }
    }
    return entry;
}

QString AskXdgMimeTextEditor()
{
    return AskDesktopTool(QStringLiteral("xdg-mime"),
                          {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/plain")});
}

TEditorStart OpenInEditor(const QString& Command, const QString& File, std::int64_t Line)
{
    TEditorLaunch launch;
    if (!Command.trimmed().isEmpty()) {
        launch = LaunchFromCommand(Command, File, Line);
    } else {
        const QString entry =
            DefaultTextEditorEntry(TXdgFolders::FromEnvironment(), DesktopTextEditorQuestion);
        const QString exec = entry.isEmpty() ? QString() : DesktopEntryExec(entry);
        if (!exec.isEmpty()) {
            const bool terminal = DesktopEntryValue(entry, QStringLiteral("Terminal")) == u"true";
            launch = LaunchFromDesktopExec(exec, terminal, File, Line);
        }
    }
    if (launch.Empty()) {
        // The desktop's handler for the file would not take a line, and may be no editor at all.
        return TEditorStart::NoEditor;
    }
    return Shell().StartArguments(launch.Program, launch.Arguments) ? TEditorStart::Started
                                                                    : TEditorStart::Failed;
}
