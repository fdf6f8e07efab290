#pragma once

#include <QString>
#include <QStringList>

/// The desktop shell: the real one, or a recording stand-in in tests.
class TShellService {
public:
    virtual ~TShellService() = default;
    /// Opens a document, folder or address (file path, http:, mailto:) with the desktop's default handler.
    virtual bool OpenDocument(const QString& target) = 0;
    /// Starts a program detached; command is the program, possibly followed by its own fixed arguments,
    /// and argument is passed as one more argument, unsplit. False when it cannot be started.
    virtual bool StartProgram(const QString& command, const QString& argument) = 0;
    /// Starts a program detached with exactly these arguments, no shell and no splitting in between.
    virtual bool StartArguments(const QString& program, const QStringList& arguments) = 0;
};

/// The shell service in use.
TShellService& Shell();
/// Installs a service (nullptr = the real one); returns the one it replaces.
TShellService* SetShellService(TShellService* service);
