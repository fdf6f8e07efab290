#include "app/Unit1.h"

#include "app/gConsts.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTabBar>
#include <QToolButton>

namespace {

constexpr std::array<int, 4> StatusPanelWidths{125, 115, 125, 115};
const std::array<const char*, 4> IdleStatusTexts{"Lines Searched: None", "Lines Found: None",
                                                 "File Position: N/A", "Words Found: None"};

} // namespace

TForm1::TForm1(const QStringList& Arguments, QWidget* parent)
    : QMainWindow(parent)
{
    Q_UNUSED(Arguments);
    setupUi(this);
    BuildToolBar();
    BuildStatusBar();
    BuildPopupMenu();
    ConnectPrintCommand();

    PageControl1->tabBar()->setStyleSheet(QStringLiteral("QTabBar::tab { width: 130px; }"));
    PageControl1->setCurrentWidget(TabSheet1);

    FileList->header()->resizeSection(0, 320);
    FileList->header()->resizeSection(1, 75);
    FileList->setRootIsDecorated(false);
    FileList->setSelectionMode(QAbstractItemView::ExtendedSelection);
}

TForm1::~TForm1() = default;

void TForm1::BuildToolBar()
{
    for (QAction* action : ToolBar1->actions()) {
        if (auto* button = qobject_cast<QToolButton*>(ToolBar1->widgetForAction(action))) {
            button->setFixedSize(65, 36);
            button->setAutoRaise(true);
        }
    }
}

void TForm1::BuildStatusBar()
{
    for (std::size_t i = 0; i < FStatusPanels.size(); ++i) {
        auto* panel = new QLabel(QString::fromLatin1(IdleStatusTexts[i]), StatusBar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setFixedWidth(StatusPanelWidths[i]);
        StatusBar->addWidget(panel);
        FStatusPanels[i] = panel;
    }
}

void TForm1::BuildPopupMenu()
{
    PUEdit = new QMenu(this);
    PUEdit->setObjectName(QStringLiteral("PUEdit"));
    PUEdit->addAction(Undo1);
    PUEdit->addSeparator();
    PUEdit->addAction(Cut1);
    PUEdit->addAction(Copy1);
    PUEdit->addAction(Paste1);
    PUEdit->addAction(Delete1);
    PUEdit->addSeparator();
    PUEdit->addAction(Find1);
    PUEdit->addSeparator();
    PUEdit->addAction(SelectAll1);
    Undo1->setData(0);
    Cut1->setData(1);
    Copy1->setData(2);
    Paste1->setData(3);
    Delete1->setData(4);
    SelectAll1->setData(5);
}

void TForm1::SetStatusText(int Index, const QString& Text)
{
    if (Index >= 0 && Index < int(FStatusPanels.size())) {
        FStatusPanels[std::size_t(Index)]->setText(Text);
    }
}

QString TForm1::StatusText(int Index) const
{
    if (Index >= 0 && Index < int(FStatusPanels.size())) {
        return FStatusPanels[std::size_t(Index)]->text();
    }
    return {};
}

void TForm1::SetIdleStatusTexts()
{
    for (std::size_t i = 0; i < FStatusPanels.size(); ++i) {
        FStatusPanels[i]->setText(QString::fromLatin1(IdleStatusTexts[i]));
    }
}

void TForm1::SetSearchCommand(bool Enabled)
{
    CmdSearch->setEnabled(Enabled);
    mSearch->menuAction()->setEnabled(Enabled);
}

bool TForm1::HasSearchString1() const
{
    return !FString1->toPlainText().isEmpty();
}

int TForm1::FileCount() const
{
    return FileList->topLevelItemCount();
}

void TForm1::UpdateSearchAfterListChange()
{
    SetSearchCommand(FileCount() > 0 && HasSearchString1());
}

void TForm1::closeEvent(QCloseEvent* event)
{
    event->accept();
}
