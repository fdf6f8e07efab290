// TForm1's start-up pieces: the options in the settings file and the command line.
#include "app/Settings.h"
#include "app/Unit1.h"
#include "app/gConsts.h"
#include "platform/Application.h"

#include <QFileInfo>

#include <algorithm>
#include <dirent.h>
#include <fnmatch.h>
#include <optional>
#include <sys/stat.h>

namespace {

// The boxes of the option flags, in the order of the settings file's keys.
constexpr std::array<QCheckBox * Ui_TForm1::*, Settings::OptionFlagCount> FlagBoxes{
    &Ui_TForm1::OptionLineCount,   &Ui_TForm1::OptionWordCount,   &Ui_TForm1::OptionProgress,
    &Ui_TForm1::OptionClearAll,    &Ui_TForm1::OptionLoadList,    &Ui_TForm1::OptionCase,
    &Ui_TForm1::OptionReverse,     &Ui_TForm1::OptionSave,        &Ui_TForm1::OptionUnixFile,
    &Ui_TForm1::OptionOneInstance, &Ui_TForm1::OptionOutputNames, &Ui_TForm1::OptionDecompress,
    &Ui_TForm1::OptionSkipBinary};

bool HasWildcards(const QString& name)
{
    return name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?'));
}

struct TMatch {
    QString Name;
    bool IsFolder;
};

// The names in the pattern's folder that match its last part, sorted by name: the order a folder lists
// its names in is chance, and the first match decides whether the pattern counts as an existing file.
std::vector<TMatch> MatchWildcard(const QString& pattern)
{
    const int slash = pattern.lastIndexOf(QLatin1Char('/'));
    const QString folderPart = pattern.left(slash + 1);
    const QByteArray mask = pattern.mid(slash + 1).toLocal8Bit();
    const QByteArray folder = folderPart.isEmpty() ? QByteArray(".") : folderPart.toLocal8Bit();

    std::vector<TMatch> matches;
    DIR* dir = opendir(folder.constData());
    if (dir == nullptr) {
        return matches;
    }
    while (const dirent* entry = readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..") {
            continue;
        }
        if (fnmatch(mask.constData(), name.constData(), 0) != 0) {
            continue;
        }
        struct stat info { };
        const QByteArray full = folderPart.toLocal8Bit() + name;
        const bool isFolder = stat(full.constData(), &info) == 0 && S_ISDIR(info.st_mode);
        matches.push_back({folderPart + QString::fromLocal8Bit(name), isFolder});
    }
    closedir(dir);
    // Byte order, as the console companion sorts a folder's files.
    std::sort(matches.begin(), matches.end(),
              [](const TMatch& a, const TMatch& b) { return a.Name.toLocal8Bit() < b.Name.toLocal8Bit(); });
    return matches;
}

// A name with wildcards exists when the first name matching it is not a folder.
bool FileExists(const QString& name)
{
    if (HasWildcards(name)) {
        const std::vector<TMatch> matches = MatchWildcard(name);
        return !matches.empty() && !matches.front().IsFolder;
    }
    const QFileInfo info(name);
    return info.exists() && !info.isDir();
}

bool IsSwitch(const QString& argument, const char* name)
{
    return argument.toUpper() == QLatin1String(name);
}

} // namespace

void TForm1::LoadOptions()
{
    const Settings::TSettings settings(ProgramFile(gConsts::SettingsExtension));
    // Each box is set as soon as its key is read: One occurance only runs its handler on the way.
    for (int flag = 0; flag < Settings::OptionFlagCount; ++flag) {
        (this->*FlagBoxes[std::size_t(flag)])->setChecked(settings.ReadFlag(Settings::TOptionFlag(flag)));
    }
    const int defaultOperator = settings.ReadDefaultOperator();
    if (defaultOperator < FOperator->count()) {
        FOperator->setCurrentIndex(defaultOperator);
    }
    RefreshRate->setValue(Settings::ClampRefreshRate(settings.ReadRefreshRate()));
    OptionRegex->setChecked(settings.ReadRegularExpressions());
}

void TForm1::SaveOptions()
{
    Settings::TOptions options;
    for (int flag = 0; flag < Settings::OptionFlagCount; ++flag) {
        options.Flags[std::size_t(flag)] = (this->*FlagBoxes[std::size_t(flag)])->isChecked();
    }
    options.DefaultOperator = FOperator->currentIndex();
    options.RefreshRate = Settings::RefreshRateFromText(RefreshRate->cleanText());
    options.RegularExpressions = OptionRegex->isChecked();
    Settings::TSettings settings(ProgramFile(gConsts::SettingsExtension));
    settings.WriteOptions(options);
}

void TForm1::ApplyCommandLine(const QStringList& Arguments)
{
    const qsizetype n = Arguments.size();
    if (n >= 1) {
        const QString& first = Arguments[0];
        if (!FileExists(first)) {
            MessageBox(QStringLiteral("Wrong filename!"), QStringLiteral("Error:"), MB_OK | MB_ICONHAND);
        } else if (HasWildcards(first)) {
            for (const TMatch& match : MatchWildcard(first)) {
                if (!match.IsFolder) {
                    AddFile(match.Name);
                }
            }
        } else if (std::any_of(Arguments.begin(), Arguments.end(),
                               [](const QString& a) { return IsSwitch(a, "/LIST"); })) {
            LoadList(first);
        } else {
            AddFile(first);
        }
    }

    if (n < 2 || IsSwitch(Arguments[1], "/LIST") || IsSwitch(Arguments[1], "/GO")) {
        return;
    }
    FString1->SetText(Arguments[1]);
    SetSearchCommand(FileCount() >= 1);
    if (n >= 3 && !IsSwitch(Arguments[2], "/LIST") && !IsSwitch(Arguments[2], "/GO")) {
        // Only this exact spelling: "AND", "or" and the like leave the operator as loaded.
        const QString& keyword = Arguments[2];
        if (keyword == QLatin1String("OR")) {
            FOperator->setCurrentIndex(1);
        } else if (keyword == QLatin1String("XOR")) {
            FOperator->setCurrentIndex(2);
        } else if (keyword == QLatin1String("&NOT")) {
            FOperator->setCurrentIndex(3);
        }
        if (n >= 4) {
            FString2->SetText(Arguments[3]);
        }
    }
    for (qsizetype i = 2; i < n; ++i) {
        if (IsSwitch(Arguments[i], "/GO") && CmdSearch->isEnabled()) {
            show();
            Application::ProcessMessages();
            CmdSearchClick();
        }
    }
}
