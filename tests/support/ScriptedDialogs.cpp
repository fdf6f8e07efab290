#include "tests/support/ScriptedDialogs.h"

namespace {

// The next scripted answer; an empty script answers Cancel.
template <typename T>
std::optional<T> NextAnswer(std::deque<std::optional<T>>& answers)
{
    if (answers.empty()) {
        return std::nullopt;
    }
    std::optional<T> answer = std::move(answers.front());
    answers.pop_front();
    return answer;
}

} // namespace

TScriptedDialogs::TScriptedDialogs()
    : FPrevious(SetDialogService(this))
{
}

TScriptedDialogs::~TScriptedDialogs()
{
    SetDialogService(FPrevious);
}

int TScriptedDialogs::MessageBox(const QString& text, const QString& caption, unsigned flags)
{
    return DetailedMessageBox(text, caption, flags, QString());
}

int TScriptedDialogs::DetailedMessageBox(const QString& text, const QString& caption, unsigned flags,
                                         const QString& details)
{
    Messages.push_back({text, caption, flags, details});
    if (!MessageAnswers.empty()) {
        const int answer = MessageAnswers.front();
        MessageAnswers.pop_front();
        return answer;
    }
    switch (flags & MB_TYPEMASK) {
    case MB_ABORTRETRYIGNORE:
        return IDABORT;
    case MB_YESNOCANCEL:
    case MB_YESNO:
        return IDYES;
    case MB_RETRYCANCEL:
        return IDRETRY;
    default:
        return IDOK;
    }
}

std::optional<QStringList> TScriptedDialogs::FileDialog(const TFileDialogRequest& request)
{
    FileDialogs.push_back(request);
    return NextAnswer(FileAnswers);
}

std::optional<QString> TScriptedDialogs::InputQuery(const QString& caption, const QString& prompt,
                                                    const QString& value)
{
    Inputs.push_back({caption, prompt, value});
    return NextAnswer(InputAnswers);
}

std::optional<TFolderChoice> TScriptedDialogs::FolderDialog(const TFolderChoice& request)
{
    FolderDialogs.push_back(request);
    return NextAnswer(FolderAnswers);
}
