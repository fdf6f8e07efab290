#include "platform/Shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include <atomic>

namespace {

QUrl UrlOf(const QString& target)
{
    if (target.startsWith(QLatin1Char('/')) || QFileInfo::exists(target)) {
        return QUrl::fromLocalFile(QFileInfo(target).absoluteFilePath());
    }
    // The Windows shell opens "www.example.com" in the browser; so do we.
    if (target.startsWith(QLatin1String("www."), Qt::CaseInsensitive)) {
        return QUrl(QStringLiteral("http://") + target, QUrl::TolerantMode);
    }
    const QUrl url(target, QUrl::TolerantMode);
    return url.scheme().isEmpty() ? QUrl::fromLocalFile(QFileInfo(target).absoluteFilePath()) : url;
}

class TRealShell final : public TShellService {
public:
    bool OpenDocument(const QString& target) override { return QDesktopServices::openUrl(UrlOf(target)); }

    bool StartProgram(const QString& command, const QString& argument) override
    {
        QStringList words = QProcess::splitCommand(command);
        if (words.isEmpty()) {
            return false;
        }
        const QString program = words.takeFirst();
        words << argument;
        return QProcess::startDetached(program, words);
    }

    bool StartArguments(const QString& program, const QStringList& arguments) override
    {
        return !program.isEmpty() && QProcess::startDetached(program, arguments);
    }
};

TRealShell RealShell;
std::atomic<TShellService*> CurrentShell{nullptr};

} // namespace

TShellService& Shell()
{
    TShellService* service = CurrentShell.load();
    return service != nullptr ? *service : RealShell;
}

TShellService* SetShellService(TShellService* service)
{
    return CurrentShell.exchange(service);
}
