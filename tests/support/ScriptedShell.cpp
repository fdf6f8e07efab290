#include "tests/support/ScriptedShell.h"

TScriptedShell::TScriptedShell()
    : FPrevious(SetShellService(this))
{
}

TScriptedShell::~TScriptedShell()
{
    SetShellService(FPrevious);
}

bool TScriptedShell::OpenDocument(const QString& target)
{
    Opened.push_back(target);
    return Result;
}

bool TScriptedShell::StartProgram(const QString& command, const QString& argument)
{
    Started.emplace_back(command, argument);
    return Result;
}

bool TScriptedShell::StartArguments(const QString& program, const QStringList& arguments)
{
    Launched.push_back(QStringList{program} + arguments);
    return Result;
}
