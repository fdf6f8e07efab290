#pragma once

#include <QString>

#include <functional>

/// Where the program keeps its own files. Beside itself for a portable folder, a build folder or an
/// unpacked archive; in the user's XDG folders for an installed copy, or for one whose folder cannot
/// take files.
struct TFileLocations {
    QString ConfigFolder; ///< settings file, saved file list, key store
    QString StateFolder; ///< result log
    QString Name; ///< the stem every file of the program shares ("sifton")
    bool BesideProgram = true;

    /// The locations of a program that keeps its files beside itself.
    static TFileLocations Beside(const QString& programPath);
    /// Creates the two folders when they are missing (nothing to do beside the program).
    void MakeFolders() const;

    /// A file of the config folder named after the program: ConfigFile(".ini") gives ".../sifton.ini".
    QString ConfigFile(const QString& ext) const;
    /// A file of the state folder named after the program: StateFile(".out") gives ".../sifton.out".
    QString StateFile(const QString& ext) const;
};

/// What the choice depends on. FromEnvironment() describes this process.
struct TLocationRules {
    QString InstalledProgramFolder; ///< the program folder of the install prefix the build was made for
    QString ConfigHome; ///< $XDG_CONFIG_HOME, else ~/.config
    QString StateHome; ///< $XDG_STATE_HOME, else ~/.local/state
    std::function<bool(const QString& folder)> CanWrite; ///< whether new files can be made in a folder

    static TLocationRules FromEnvironment();
};

/// The locations for a program at programPath. An installed copy never writes beside itself, even when
/// it could (root may write anywhere in /usr/bin); any other copy does so when its folder takes files.
TFileLocations LocationsFor(const QString& programPath, const TLocationRules& rules);

/// Whether another process holds the lock on the file at path (a second copy of the program finds the
/// first one's result log so). False for a missing file or one nobody holds.
bool HeldByAnotherProcess(const QString& path);

/// The folder for files that die with the session: $XDG_RUNTIME_DIR, else the temporary folder.
QString RuntimeFolder();
/// Creates a new empty file "<stem>-XXXXXX<ext>" of this process alone in folder; empty when that fails.
QString CreatePrivateFile(const QString& folder, const QString& stem, const QString& ext);

/// The data folder of an installed copy: "../share/sifton" from the program's folder when that exists (an
/// unpacked portable tree), else the one of the install prefix the build was made for ("/usr/share/sifton").
QString InstalledDataFolder();

namespace Application {

/// The running program's locations, decided on the first call; the XDG folders are created then.
const TFileLocations& FileLocations();
/// The folder of the settings file, and of every file that lives beside it.
QString ConfigFolder();
/// A file of the config folder named after the program (".ini", ".lst", ".reg").
QString ConfigFile(const QString& ext);
/// A file of the state folder named after the program (".out").
QString StateFile(const QString& ext);

} // namespace Application
