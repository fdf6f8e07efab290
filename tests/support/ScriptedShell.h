#pragma once

#include "platform/Shell.h"

#include <utility>
#include <vector>

/// The shell service of tests: installs itself for its lifetime, records each call and answers Result.
class TScriptedShell final : public TShellService {
public:
    TScriptedShell();
    ~TScriptedShell() override;
    TScriptedShell(const TScriptedShell&) = delete;
    TScriptedShell& operator=(const TScriptedShell&) = delete;

    bool Result = true;
    std::vector<QString> Opened; ///< targets of OpenDocument, in order
    std::vector<std::pair<QString, QString>> Started; ///< (command, argument) of StartProgram, in order
    std::vector<QStringList> Launched; ///< program and arguments of StartArguments, in order

    bool OpenDocument(const QString& target) override;
    bool StartProgram(const QString& command, const QString& argument) override;
    bool StartArguments(const QString& program, const QStringList& arguments) override;

private:
    TShellService* FPrevious;
};
