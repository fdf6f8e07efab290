#include "controls/richtext/FindDialog.h"

#include "controls/richtext/qvtext_shared.h"
#include "platform/Dialogs.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

const QString WrapQuestionText = QStringLiteral("     This application has completed the search.\r"
                                                "Would you like to start the search from the beginning?\r\r"
                                                "     Press Ok to search from the top.\r");
const QString SearchCompleteText = QStringLiteral("Search complete.\r");

} // namespace

bool AskToWrapFind()
{
    return QvText::ShowLibraryMessage(WrapQuestionText, MB_OKCANCEL | MB_ICONASTERISK) == IDOK;
}

void ShowFindComplete()
{
    QvText::ShowLibraryMessage(SearchCompleteText, MB_OK | MB_ICONASTERISK);
}

TFindDialog::TFindDialog(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Find"));
    setModal(false);

    auto* label = new QLabel(tr("Fi&nd what:"), this);
    FFindEdit = new QLineEdit(this);
    label->setBuddy(FFindEdit);
    FWholeWordBox = new QCheckBox(tr("Match &whole word only"), this);
    FMatchCaseBox = new QCheckBox(tr("Match &case"), this);

    auto* direction = new QGroupBox(tr("Direction"), this);
    FUpButton = new QRadioButton(tr("&Up"), direction);
    FDownButton = new QRadioButton(tr("&Down"), direction);
    FDownButton->setChecked(true);
    auto* directionLayout = new QHBoxLayout(direction);
    directionLayout->addWidget(FUpButton);
    directionLayout->addWidget(FDownButton);

    FFindButton = new QPushButton(tr("&Find Next"), this);
    FFindButton->setDefault(true);
    FFindButton->setEnabled(false);
    FCancelButton = new QPushButton(tr("Cancel"), this);

    auto* grid = new QGridLayout;
    grid->addWidget(label, 0, 0);
    grid->addWidget(FFindEdit, 0, 1, 1, 2);
    grid->addWidget(FWholeWordBox, 1, 0, 1, 2);
    grid->addWidget(FMatchCaseBox, 2, 0, 1, 2);
    grid->addWidget(direction, 1, 2, 2, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(FFindButton);
    buttons->addWidget(FCancelButton);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    // Like the platform's find dialog: nothing to find, nothing to press.
    connect(FFindEdit, &QLineEdit::textChanged, this,
            [this](const QString& text) { FFindButton->setEnabled(!text.isEmpty()); });
    connect(FFindButton, &QPushButton::clicked, this, [this] {
        if (OnFind) {
            OnFind();
        }
    });
    connect(FCancelButton, &QPushButton::clicked, this, &TFindDialog::CloseDialog);
}

QString TFindDialog::FindText() const
{
    return FFindEdit->text();
}

void TFindDialog::SetFindText(const QString& value)
{
    FFindEdit->setText(value);
}

bool TFindDialog::Down() const
{
    return FDownButton->isChecked();
}

void TFindDialog::SetDown(bool value)
{
    (value ? FDownButton : FUpButton)->setChecked(true);
}

bool TFindDialog::WholeWord() const
{
    return FWholeWordBox->isChecked();
}

void TFindDialog::SetWholeWord(bool value)
{
    FWholeWordBox->setChecked(value);
}

bool TFindDialog::MatchCase() const
{
    return FMatchCaseBox->isChecked();
}

void TFindDialog::SetMatchCase(bool value)
{
    FMatchCaseBox->setChecked(value);
}

void TFindDialog::Execute()
{
    show();
    raise();
    activateWindow();
    FFindEdit->setFocus();
    FFindEdit->selectAll();
}

void TFindDialog::CloseDialog()
{
    reject();
}

void TFindDialog::done(int result)
{
    QDialog::done(result);
    if (OnClose) {
        OnClose();
    }
}

void TFindDialog::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    if (!e->spontaneous() && OnShow) {
        OnShow();
    }
}
