#include "app/PatEdConfig.h"

#include "app/ActivationComponent.h"
#include "app/DialogFont.h"
#include "app/LibraryContentsWindow.h"
#include "store/Interruption.h"

#include "ui_PatEdConfig.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>

namespace {

const QString messageCaption = QStringLiteral("VELKINDEX");

// The client area below the menu bar.
constexpr QSize clientSize(368, 253);

// A button whose caption is wider than the button shows it on several lines,
// as the layout's buttons do ("Load Description"); QPushButton would cut it.
// Paints the button without its caption, then the caption wrapped inside it.
// False when the caption fits and the button paints itself.
bool paintWrappedCaption(QPushButton* button)
{
    const int margin = 2;
    const QRect textArea = button->rect().adjusted(margin, 1, -margin, -1);
    if (button->fontMetrics().horizontalAdvance(button->text()) <= textArea.width() - 2 * margin)
        return false;

    QStyleOptionButton option;
    option.initFrom(button);
    option.state |= button->isDown() ? QStyle::State_Sunken : QStyle::State_Raised;
    if (button->isDefault())
        option.features |= QStyleOptionButton::DefaultButton;
    QStyle* style = button->style();
    QPainter painter(button);
    style->drawControl(QStyle::CE_PushButtonBevel, &option, &painter, button);
    style->drawItemText(&painter, textArea, Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic, option.palette,
        button->isEnabled(), button->text(), QPalette::ButtonText);
    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.rect = style->subElementRect(QStyle::SE_PushButtonFocusRect, &option, button);
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, button);
    }
    return true;
}

} // namespace

PatEdConfig::PatEdConfig(QWidget* parent)
    : QMainWindow(parent)
    , m_ui(std::make_unique<Ui::PatEdConfig>())
    , m_commonDialog(this)
    , m_loadStatus(this)
{
    setFont(dialogFont(8.25));
    m_ui->setupUi(this);

    connect(m_ui->BuildTopic, &QAction::triggered, this, &PatEdConfig::BuildTopic_Click);
    connect(m_ui->ClearTopic, &QAction::triggered, this, &PatEdConfig::ClearTopic_Click);
    connect(m_ui->Exit, &QAction::triggered, this, &PatEdConfig::Exit_Click);
    connect(m_ui->LibraryContents, &QAction::triggered, this, &PatEdConfig::LibraryContents_Click);
    m_ui->LibraryContents->setEnabled(false);
    connect(m_ui->ModuleList, &QListWidget::itemSelectionChanged, this,
        [this]() { followSelection(ListName::ModuleList); });
    connect(m_ui->CodeList, &QListWidget::itemSelectionChanged, this,
        [this]() { followSelection(ListName::CodeList); });
    connect(m_ui->CreateModule, &QPushButton::clicked, this, &PatEdConfig::CreateModule_Click);
    connect(m_ui->CmdLoad, &QPushButton::clicked, this, &PatEdConfig::CmdLoad_Click);
    connect(m_ui->CmdClear, &QPushButton::clicked, this, &PatEdConfig::CmdClear_Click);
    connect(m_ui->LoadCodeDescription, &QPushButton::clicked, this, &PatEdConfig::LoadCodeDescription_Click);
    // CmdCreate and CmdDelete have no handler.

    // The form gives the tab pages' controls relative to SSTab1; keep those
    // places and follow the pages wherever the tab control puts them.
    for (int i = 0; i < m_ui->SSTab1->count(); ++i) {
        QWidget* page = m_ui->SSTab1->widget(i);
        for (QWidget* control : page->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            m_tabPlaces.insert(control, control->pos());
        page->installEventFilter(this);
        for (QPushButton* button : page->findChildren<QPushButton*>())
            button->installEventFilter(this);
        if (page->parentWidget() != m_ui->SSTab1)
            page->parentWidget()->installEventFilter(this);
    }
    placeTabControls();

    applyHighlightColour();

    const QSize windowSize = clientSize + QSize(0, menuBar()->sizeHint().height());
    const QScreen* where = screen();
    if (where)
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, windowSize, where->availableGeometry()));
    else
        resize(windowSize);
}

PatEdConfig::~PatEdConfig()
{
    Form_Terminate();
    setBusy(false);
}

void PatEdConfig::setCommands(Commands commands) { m_commands = std::move(commands); }

void PatEdConfig::setMessageSink(std::function<void(const QString&)> sink) { m_messageSink = std::move(sink); }

void PatEdConfig::setTerminateHandler(std::function<void()> handler) { m_terminateHandler = std::move(handler); }

QString PatEdConfig::modName() const { return m_ui->ModName->text(); }

QString PatEdConfig::modDirPrefix() const { return m_ui->ModDirPrefix->text(); }

QListWidget* PatEdConfig::list(ListName list) const
{
    return list == ListName::ModuleList ? m_ui->ModuleList : m_ui->CodeList;
}

QString PatEdConfig::listText(ListName which) const
{
    const QList<QListWidgetItem*> selected = list(which)->selectedItems();
    return selected.isEmpty() ? QString() : selected.constFirst()->text();
}

QStringList PatEdConfig::listItems(ListName which) const
{
    const QListWidget* widget = list(which);
    QStringList items;
    items.reserve(widget->count());
    for (int row = 0; row < widget->count(); ++row)
        items.append(widget->item(row)->text());
    return items;
}

void PatEdConfig::clearList(ListName which) { list(which)->clear(); }

void PatEdConfig::addListItem(ListName which, const QString& text) { list(which)->addItem(text); }

void PatEdConfig::setListText(ListName which, const QString& text)
{
    QListWidget* widget = list(which);
    for (int row = 0; row < widget->count(); ++row) {
        if (widget->item(row)->text() == text) {
            widget->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
            return;
        }
    }
    widget->clearSelection();
    widget->setCurrentRow(-1);
}

void PatEdConfig::messageBox(const QString& text)
{
    if (m_messageSink) {
        m_messageSink(text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, messageCaption, text, QMessageBox::Ok, this);
    box.exec();
}

void PatEdConfig::setBusy(bool busy)
{
    // The pointer is a setting, not a count: setting the hourglass twice and
    // the default once leaves the default, and the default when it is
    // already set changes nothing.
    if (busy == m_busy)
        return;
    m_busy = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void PatEdConfig::refreshMain() { repaint(); }

void PatEdConfig::setContentsSource(ContentsSource* source)
{
    m_contentsSource = source;
    m_ui->LibraryContents->setEnabled(source != nullptr);
}

void PatEdConfig::run(const std::function<void()>& command)
{
    if (!command)
        return;
    // While a handler runs, its list refills are not followed: the contents
    // are read once, after it has ended (its unit of work with it).
    {
        const QScopedValueRollback<bool> running(m_commandRunning, true);
        command();
    }
    // A stopped command ends the program: nothing to show any more.
    if (m_contentsWindow && m_contentsWindow->isVisible() && !Interruption::requested())
        m_contentsWindow->refresh(listText(ListName::ModuleList), listText(ListName::CodeList), false);
}

void PatEdConfig::followSelection(ListName which)
{
    if (m_commandRunning || !m_contentsWindow || !m_contentsWindow->isVisible())
        return;
    if (which == ListName::ModuleList)
        m_contentsWindow->showModule(listText(which));
    else
        m_contentsWindow->showCodingSystem(listText(which));
}

void PatEdConfig::LibraryContents_Click()
{
    if (!m_contentsSource)
        return;
    if (!m_contentsWindow)
        m_contentsWindow = new LibraryContentsWindow(*m_contentsSource, this);
    m_contentsWindow->refresh(listText(ListName::ModuleList), listText(ListName::CodeList), true);
    m_contentsWindow->show();
    m_contentsWindow->raise();
    m_contentsWindow->activateWindow();
}

void PatEdConfig::BuildTopic_Click() { run(m_commands.BuildTopic); }

void PatEdConfig::ClearTopic_Click() { run(m_commands.ClearTopic); }

void PatEdConfig::CreateModule_Click() { run(m_commands.CreateModule); }

void PatEdConfig::CmdLoad_Click() { run(m_commands.CmdLoad); }

void PatEdConfig::CmdClear_Click() { run(m_commands.CmdClear); }

void PatEdConfig::LoadCodeDescription_Click() { run(m_commands.LoadCodeDescription); }

void PatEdConfig::Exit_Click() { close(); }

void PatEdConfig::Form_Activate() { ActivationComponent::instance().activate(winId(), -1); }

void PatEdConfig::Form_Terminate()
{
    if (m_terminated)
        return;
    m_terminated = true;
    if (auto handler = std::move(m_terminateHandler))
        handler();
}

bool PatEdConfig::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        Form_Activate();
    return QMainWindow::event(event);
}

bool PatEdConfig::eventFilter(QObject* watched, QEvent* event)
{
    if (auto* button = qobject_cast<QPushButton*>(watched)) {
        if (event->type() == QEvent::Paint && paintWrappedCaption(button))
            return true;
    } else if (event->type() == QEvent::Move || event->type() == QEvent::Resize || event->type() == QEvent::Show) {
        // A tab page, or the stack that holds them, has been placed.
        placeTabControls();
    }
    return QMainWindow::eventFilter(watched, event);
}

void PatEdConfig::closeEvent(QCloseEvent* event)
{
    // The program ends with its main window: "Library Contents" goes with it.
    if (m_contentsWindow)
        m_contentsWindow->close();
    QMainWindow::closeEvent(event);
}

void PatEdConfig::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyHighlightColour();
}

void PatEdConfig::placeTabControls()
{
    for (auto it = m_tabPlaces.cbegin(); it != m_tabPlaces.cend(); ++it) {
        QWidget* control = it.key();
        const QPoint pageOffset = control->parentWidget()->mapTo(m_ui->SSTab1, QPoint(0, 0));
        const QPoint place = it.value() - pageOffset;
        if (control->pos() != place)
            control->move(place);
    }
}

void PatEdConfig::applyHighlightColour()
{
    // The headings are drawn in the colour of selected items.
    const QColor highlight = palette().color(QPalette::Active, QPalette::Highlight);
    for (QLabel* heading : { m_ui->Label1, m_ui->Label5, m_ui->Label6 }) {
        QPalette colours = heading->palette();
        if (colours.color(QPalette::WindowText) == highlight
            && colours.isBrushSet(QPalette::Active, QPalette::WindowText))
            continue;
        colours.setColor(QPalette::WindowText, highlight);
        heading->setPalette(colours);
    }
}
