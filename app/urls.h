#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

/// The XDG base folders that decide which program handles web addresses.
struct TXdgFolders {
    QString ConfigHome;
    QStringList ConfigDirs;
    QString DataHome;
    QStringList DataDirs;
    QStringList CurrentDesktops; // lower case, as used in "<desktop>-mimeapps.list"

    /// The folders of this session, with the XDG defaults for unset variables.
    static TXdgFolders FromEnvironment();
};

/// Removes the desktop-entry field codes (%u %U %f ...) from an Exec= line; "%%" stays a "%".
QString StripFieldCodes(const QString& exec);

/// Cuts a registered browser command down to the browser program's path
/// (quotes, switches and the address placeholder go). fileExists decides whether a
/// candidate path names an existing file.
QString CleanBrowserCommand(const QString& command, const std::function<bool(const QString&)>& fileExists);

/// The Exec= value of a .desktop file's [Desktop Entry] group; empty when there is none
/// or the entry is hidden.
QString DesktopEntryExec(const QString& desktopFile);

/// The .desktop file for a desktop-file id in the XDG data folders; empty when not installed.
QString FindDesktopEntry(const QString& desktopId, const TXdgFolders& folders);

/// The default handler of x-scheme-handler/http from the mimeapps.list files, first installed one.
QString MimeAppsBrowserId(const TXdgFolders& folders);

/// The default handler of a MIME type ("text/plain") from the mimeapps.list files, first installed one.
QString MimeAppsDefault(const TXdgFolders& folders, const QString& mimeType);

/// The value of a key in a .desktop file's [Desktop Entry] group; empty when there is none.
QString DesktopEntryValue(const QString& desktopFile, const QString& key);

/// The command registered for web addresses: the default browser's Exec= line without its
/// field codes. askDesktop (may be empty) names the desktop's own choice of browser as a
/// desktop-file id; the mimeapps.list files answer when it does not. Empty: no browser.
QString RegisteredBrowserCommand(const TXdgFolders& folders, const std::function<QString()>& askDesktop);

/// The trimmed standard output of a desktop tool found on the PATH (xdg-settings, xdg-mime); empty
/// when the tool is missing, fails, or has not answered within 3 seconds, or once stop is set.
QString AskDesktopTool(const QString& tool, const QStringList& arguments,
                       const std::atomic<bool>* stop = nullptr);

/// Asks `xdg-settings get default-web-browser`; empty when the tool is missing or says nothing.
QString AskXdgSettings();

/// Where OpenURL learns the desktop's own choice of browser; tests replace it.
extern std::function<QString()> DesktopBrowserQuestion;

/// Asks DesktopBrowserQuestion on a worker thread and keeps the answer for OpenURL, which from then
/// on never waits for the question (xdg-settings may take seconds): until the answer is in, it goes
/// by the mimeapps.list files alone. Each OpenURL asks again in the background for the next one.
void StartBrowserLookup();

/// Whether a cleaned browser command names a launcher that needs the arguments the cleaning took
/// away ("env VAR=x browser", "flatpak run app"): started with the address alone it would fail.
bool IsLauncherCommand(const QString& program);

/// Starts the user's web browser with the address as its only argument. When no browser is
/// registered, or the registered one cannot be started as found (a launcher, a missing program,
/// a failed start), the address goes to the desktop's own opener instead. Reports nothing.
void OpenURL(const QString& url);

/// The maker's notices and the pages behind the Help menu's web items.
namespace Quorvale {
inline constexpr const char* Rights = "Copyright \u00a9 1998 Quorvale Software Inc. All rights reserved.";
inline constexpr const char* Version = "Build: 1998.8.20";
} // namespace Quorvale

namespace QuorvalePages {
inline constexpr const char* Feedback = "mailto:sifton-feedback@quorvale.example";
inline constexpr const char* Support = "http://www.quorvale.example/support/";
inline constexpr const char* NewFeatures = "http://www.quorvale.example/sifton/whatsnew.html";
inline constexpr const char* News = "http://www.quorvale.example/news/";
inline constexpr const char* Software = "http://www.quorvale.example/software/";
} // namespace QuorvalePages
