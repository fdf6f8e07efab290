#include "platform/Dialogs.h"

#include "platform/GuiDispatcher.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <atomic>

namespace {

QWidget* DialogParent()
{
    return QApplication::activeWindow();
}

QString DisplayText(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QMessageBox::Icon IconOf(unsigned flags)
{
    switch (flags & MB_ICONMASK) {
    case MB_ICONHAND:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONEXCLAMATION:
        return QMessageBox::Warning;
    case MB_ICONASTERISK:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

struct TButtonSpec {
    QMessageBox::StandardButton Button;
    int Id;
};

std::vector<TButtonSpec> ButtonsOf(unsigned flags)
{
    switch (flags & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_ABORTRETRYIGNORE:
        return {
            {QMessageBox::Abort, IDABORT}, {QMessageBox::Retry, IDRETRY}, {QMessageBox::Ignore, IDIGNORE}};
    case MB_YESNOCANCEL:
        return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_YESNO:
        return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
    case MB_RETRYCANCEL:
        return {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
    default:
        return {{QMessageBox::Ok, IDOK}};
    }
}

// Qt reads "*.*" literally (a dot required); "All Files" must list names without an extension too.
QString QtFilterOf(const TFileFilter& filter)
{
    QString mask = filter.Mask;
    mask.replace(QLatin1Char(';'), QLatin1Char(' '));
    if (mask.trimmed() == QLatin1String("*.*")) {
        mask = QStringLiteral("*");
    }
    return filter.Name + QStringLiteral(" (") + mask + QLatin1Char(')');
}

class TQtDialogs final : public TDialogService {
public:
    int MessageBox(const QString& text, const QString& caption, unsigned flags) override
    {
        return DetailedMessageBox(text, caption, flags, QString());
    }

    int DetailedMessageBox(const QString& text, const QString& caption, unsigned flags,
                           const QString& details) override
    {
        QMessageBox box(IconOf(flags), caption, DisplayText(text), QMessageBox::NoButton, DialogParent());
        if (!details.isEmpty()) {
            box.setDetailedText(details);
        }
        const std::vector<TButtonSpec> buttons = ButtonsOf(flags);
        for (const TButtonSpec& b : buttons) {
            box.addButton(b.Button);
        }
        const std::size_t defaultIndex = (flags & MB_DEFMASK) >> 8;
        if (defaultIndex < buttons.size()) {
            box.setDefaultButton(buttons[defaultIndex].Button);
        }
        box.setWindowModality((flags & MB_TASKMODAL) != 0 || DialogParent() == nullptr ? Qt::ApplicationModal
                                                                                       : Qt::WindowModal);
        if ((flags & MB_TOPMOST) != 0) {
            box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
        }
        const int pressed = box.exec();
        for (const TButtonSpec& b : buttons) {
            if (b.Button == pressed) {
                return b.Id;
            }
        }
        // Closed from the title bar, or dismissed.
        return CancelAnswer(flags);
    }

    std::optional<QStringList> FileDialog(const TFileDialogRequest& request) override
    {
        QFileDialog dialog(DialogParent(), request.Title, request.InitialDir);
        QStringList filters;
        for (const TFileFilter& f : request.Filters) {
            filters << QtFilterOf(f);
        }
        dialog.setNameFilters(filters);
        if (request.FilterIndex >= 0 && request.FilterIndex < filters.size()) {
            dialog.selectNameFilter(filters[request.FilterIndex]);
        }
        if (request.Save) {
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setFileMode(QFileDialog::AnyFile);
            dialog.setOption(QFileDialog::DontConfirmOverwrite, (request.Options & ofOverwritePrompt) == 0);
        } else {
            dialog.setAcceptMode(QFileDialog::AcceptOpen);
            const bool many = (request.Options & ofAllowMultiSelect) != 0;
            dialog.setFileMode(many ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
        }
        dialog.setDefaultSuffix(request.DefaultExt);
        if (!request.FileName.isEmpty()) {
            dialog.selectFile(request.FileName);
        }
        while (!DialogsDismissed() && dialog.exec() == QDialog::Accepted && !DialogsDismissed()) {
            const QStringList files = dialog.selectedFiles();
            // Refused at once, with the dialog still open, rather than failing later to be written.
            if (request.Save && !files.isEmpty()) {
                if (const QString refused = RefusedSaveChoice(files.front(), request.Options);
                    !refused.isEmpty()) {
                    QMessageBox::warning(&dialog, dialog.windowTitle(), refused);
                    continue;
                }
            }
            return files;
        }
        return std::nullopt;
    }

    std::optional<TFolderChoice> FolderDialog(const TFolderChoice& request) override
    {
        QDialog dialog(DialogParent());
        dialog.setWindowTitle(request.Title);
        auto* folder = new QLineEdit(request.Folder, &dialog);
        folder->setMinimumWidth(320);
        auto* browse = new QPushButton(QStringLiteral("&Browse..."), &dialog);
        auto* folderRow = new QHBoxLayout();
        folderRow->addWidget(folder);
        folderRow->addWidget(browse);
        auto* subfolders = new QCheckBox(QStringLiteral("Include &subfolders"), &dialog);
        subfolders->setChecked(request.IncludeSubfolders);
        auto* filter = new QLineEdit(request.Filter, &dialog);
        filter->setPlaceholderText(QStringLiteral("*.log;*.log.* (empty: all files)"));
        auto* exclude = new QLineEdit(request.Exclude, &dialog);
        exclude->setPlaceholderText(QStringLiteral("*.bak;old (files and folders; empty: none)"));
        auto* hidden = new QCheckBox(QStringLiteral("Skip &hidden files and folders"), &dialog);
        hidden->setChecked(request.SkipHidden);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
        auto* form = new QFormLayout(&dialog);
        auto* folderLabel = new QLabel(QStringLiteral("&Folder:"), &dialog);
        folderLabel->setBuddy(folder);
        form->addRow(folderLabel, folderRow);
        form->addRow(QString(), subfolders);
        form->addRow(QStringLiteral("File &names:"), filter);
        form->addRow(QStringLiteral("E&xclude:"), exclude);
        form->addRow(QString(), hidden);
        form->addRow(buttons);

        // OK only for a folder that is there, so a typing error cannot pass for an empty folder.
        const auto check = [&] {
            buttons->button(QDialogButtonBox::Ok)->setEnabled(QFileInfo(folder->text()).isDir());
        };
        check();
        QObject::connect(folder, &QLineEdit::textChanged, &dialog, check);
        QObject::connect(browse, &QPushButton::clicked, &dialog, [&] {
            const QString chosen = QFileDialog::getExistingDirectory(&dialog, request.Title, folder->text());
            if (!chosen.isEmpty()) {
                folder->setText(chosen);
            }
        });
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        if (dialog.exec() != QDialog::Accepted) {
            return std::nullopt;
        }
        TFolderChoice choice = request;
        choice.Folder = folder->text();
        choice.IncludeSubfolders = subfolders->isChecked();
        choice.Filter = filter->text().trimmed();
        choice.Exclude = exclude->text().trimmed();
        choice.SkipHidden = hidden->isChecked();
        return choice;
    }

    std::optional<QString> InputQuery(const QString& caption, const QString& prompt,
                                      const QString& value) override
    {
        bool ok = false;
        QString text = QInputDialog::getText(DialogParent(), caption, prompt, QLineEdit::Normal, value, &ok);
        if (!ok) {
            return std::nullopt;
        }
        return text;
    }
};

TQtDialogs RealDialogs;
std::atomic<TDialogService*> CurrentDialogs{nullptr};
std::atomic<bool> Dismissed{false};

} // namespace

void DismissDialogs()
{
    Dismissed = true;
    if (QApplication::instance() == nullptr) {
        return;
    }
    // A menu that is open has a loop of its own, and so has every modal dialog, the program's own
    // windows (about, readme) included. Closing a dialog may open none: the ones asked for from now
    // on do not show. Bounded all the same, should a widget refuse to close.
    for (int round = 0; round < 16 && QApplication::activePopupWidget() != nullptr; ++round) {
        QApplication::activePopupWidget()->close();
    }
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(window); dialog != nullptr && dialog->isVisible()) {
            dialog->reject();
        }
    }
}

bool DialogsDismissed()
{
    return Dismissed.load();
}

int CancelAnswer(unsigned flags)
{
    const std::vector<TButtonSpec> buttons = ButtonsOf(flags);
    return buttons.size() == 1 ? buttons.front().Id : IDCANCEL;
}

QString RefusedSaveChoice(const QString& file, unsigned options)
{
    const QFileInfo chosen(file);
    if ((options & ofPathMustExist) != 0) {
        const QFileInfo folder(chosen.absolutePath());
        if (!folder.isDir()) {
            return folder.filePath() +
                   QStringLiteral("\nThis folder does not exist.\nCheck the name and try again.");
        }
    }
    if ((options & ofNoReadOnlyReturn) != 0 && chosen.exists() && !chosen.isWritable()) {
        return chosen.fileName() +
               QStringLiteral("\nThis file is set to read-only.\nTry again with a different file name.");
    }
    return {};
}

TDialogService& Dialogs()
{
    TDialogService* service = CurrentDialogs.load();
    return service != nullptr ? *service : RealDialogs;
}

TDialogService* SetDialogService(TDialogService* service)
{
    TDialogService* previous = CurrentDialogs.exchange(service);
    return previous;
}

// Asked for on the GUI thread, so a box that waited in the queue while the dialogs were dismissed does
// not show either.
int MessageBox(const QString& text, const QString& caption, unsigned flags)
{
    return CallOnGuiThread([&] {
        return DialogsDismissed() ? CancelAnswer(flags) : Dialogs().MessageBox(text, caption, flags);
    });
}

int MessageBox(const QString& text, const QString& caption, unsigned flags, const QString& details)
{
    return CallOnGuiThread([&] {
        return DialogsDismissed() ? CancelAnswer(flags)
                                  : Dialogs().DetailedMessageBox(text, caption, flags, details);
    });
}

QString InputBox(const QString& caption, const QString& prompt, const QString& value)
{
    std::optional<QString> answer = CallOnGuiThread([&]() -> std::optional<QString> {
        if (DialogsDismissed()) {
            return std::nullopt;
        }
        return Dialogs().InputQuery(caption, prompt, value);
    });
    return answer ? *answer : value;
}

TFileDialog::TFileDialog(bool save)
    : FSave(save)
{
}

bool TFileDialog::Execute()
{
    TFileDialogRequest request;
    request.Save = FSave;
    request.Title = Title;
    request.Filters = Filters;
    request.FilterIndex = FilterIndex;
    request.DefaultExt = DefaultExt;
    request.FileName = FileName;
    request.InitialDir = InitialDir;
    request.Options = Options;
    std::optional<QStringList> chosen = CallOnGuiThread([&]() -> std::optional<QStringList> {
        if (DialogsDismissed()) {
            return std::nullopt;
        }
        return Dialogs().FileDialog(request);
    });
    if (!chosen || chosen->isEmpty()) {
        return false;
    }
    Files.clear();
    for (QString file : *chosen) {
        // A name typed without an extension gets the default one (the real dialog does this already).
        if (FSave && !DefaultExt.isEmpty() && QFileInfo(file).suffix().isEmpty()) {
            file += QLatin1Char('.') + DefaultExt;
        }
        Files << file;
    }
    FileName = Files.front();
    return true;
}

bool TFolderDialog::Execute()
{
    std::optional<TFolderChoice> chosen = CallOnGuiThread([&]() -> std::optional<TFolderChoice> {
        if (DialogsDismissed()) {
            return std::nullopt;
        }
        return Dialogs().FolderDialog(Choice);
    });
    if (!chosen || chosen->Folder.isEmpty()) {
        return false;
    }
    const QString title = Choice.Title;
    Choice = *chosen;
    Choice.Title = title;
    return true;
}
