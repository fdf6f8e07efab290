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
    const auto writeFlags = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            FFile.WriteBool(Text(OptionsSection), Text(OptionFlags[i].Key), options.Flags[i]);
        }
    };
    writeFlags(0, BaseFlagCount);
    FFile.WriteInteger(Text(OptionsSection), Text(DefaultOperatorKey), options.DefaultOperator);
    FFile.WriteInteger(Text(OptionsSection), Text(RefreshRateKey), options.RefreshRate);
    FFile.WriteBool(Text(OptionsSection), Text(RegularExpressionsKey), options.RegularExpressions);
    writeFlags(BaseFlagCount, OptionFlagCount);
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
