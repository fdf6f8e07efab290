#include "platform/ScriptedDialogs.h"

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
    Messages.push_back({ text, caption, flags });
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
    if (FileAnswers.empty()) {
        return std::nullopt;
    }
    const bool confirmed = FileAnswers.front().has_value();
    QStringList files = confirmed ? *FileAnswers.front() : QStringList();
    FileAnswers.pop_front();
    return confirmed ? std::optional<QStringList>(std::move(files)) : std::nullopt;
}

std::optional<QString> TScriptedDialogs::InputQuery(const QString& caption, const QString& prompt, const QString& value)
{
    Inputs.push_back({ caption, prompt, value });
    if (InputAnswers.empty()) {
        return std::nullopt;
    }
    const bool confirmed = InputAnswers.front().has_value();
    QString text = confirmed ? *InputAnswers.front() : QString();
    InputAnswers.pop_front();
    return confirmed ? std::optional<QString>(std::move(text)) : std::nullopt;
}
