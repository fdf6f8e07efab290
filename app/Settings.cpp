#include "app/Settings.h"

#include "platform/FileLocations.h"

#include <algorithm>

namespace Settings {

namespace {

    QString Text(const char* latin1)
    {
        return QString::fromLatin1(latin1);
    }

} // namespace

QString FileName()
{
    static const QString fileName = Application::ConfigFile(QStringLiteral(".ini"));
    return fileName;
}

TSettings::TSettings(const QString& fileName)
    : FFile(fileName)
{
}

bool TSettings::ReadFlag(TOptionFlag flag) const
{
    const TFlagKey& key = OptionFlags[flag];
    return FFile.ReadBool(Text(OptionsSection), Text(key.Key), key.Default);
}

int TSettings::ReadDefaultOperator() const
{
    const int stored =
        FFile.ReadInteger(Text(OptionsSection), Text(DefaultOperatorKey), DefaultOperatorDefault);
    return stored < OperatorCount ? stored : DefaultOperatorDefault;
}

int TSettings::ReadRefreshRate() const
{
    return FFile.ReadInteger(Text(OptionsSection), Text(RefreshRateKey), RefreshRateDefault);
}

bool TSettings::ReadRegularExpressions() const
{
    return FFile.ReadBool(Text(OptionsSection), Text(RegularExpressionsKey), RegularExpressionsDefault);
}

TOptions TSettings::ReadOptions() const
{
    TOptions options;
    for (int i = 0; i < OptionFlagCount; ++i) {
        options.Flags[i] = ReadFlag(static_cast<TOptionFlag>(i));
    }
    options.DefaultOperator = ReadDefaultOperator();
    options.RefreshRate = ReadRefreshRate();
    options.RegularExpressions = ReadRegularExpressions();
    return options;
}

void TSettings::WriteOptions(const TOptions& options)
{
    // One replacement of the file for all of them, each a whole new file synced to the disk: written
    // key by key, closing the window cost one of those per key.
    std::vector<std::pair<QString, QString>> values;
    const auto addFlags = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            values.emplace_back(Text(OptionFlags[i].Key),
                                options.Flags[i] ? QStringLiteral("1") : QStringLiteral("0"));
        }
    };
    addFlags(0, BaseFlagCount);
    values.emplace_back(Text(DefaultOperatorKey), QString::number(options.DefaultOperator));
    values.emplace_back(Text(RefreshRateKey), QString::number(options.RefreshRate));
    values.emplace_back(Text(RegularExpressionsKey),
                        options.RegularExpressions ? QStringLiteral("1") : QStringLiteral("0"));
    addFlags(BaseFlagCount, OptionFlagCount);
    FFile.WriteStrings(Text(OptionsSection), values);
}

TReseller TSettings::ReadReseller() const
{
    const QString section = Text(ResellerSection);
    return {FFile.ReadString(section, Text(CompanyKey), Text(CompanyDefault)),
            FFile.ReadString(section, Text(UrlKey), Text(UrlDefault)),
            FFile.ReadString(section, Text(EmailKey), Text(EmailDefault)),
            FFile.ReadString(section, Text(PhoneKey), Text(PhoneDefault))};
}

QString TSettings::ReadEditorCommand() const
{
    return FFile.ReadString(Text(EditorSection), Text(EditorCommandKey), QString());
}

bool TSettings::ReadEditorViewer() const
{
    return FFile.ReadBool(Text(EditorSection), Text(EditorViewerKey), false);
}

bool TSettings::ReadShowResults() const
{
    return FFile.ReadBool(Text(OptionsSection), Text(ShowResultsKey), true);
}

int RefreshRateFromText(const QString& text)
{
    int value = 0;
    return ParseProfileInteger(text.trimmed().toLocal8Bit(), value) ? value : RefreshRateDefault;
}

int ClampRefreshRate(int value)
{
    return std::clamp(value, RefreshRateMin, RefreshRateMax);
}

} // namespace Settings
