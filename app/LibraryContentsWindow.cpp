#include "app/LibraryContentsWindow.h"

#include "ui_LibraryContentsWindow.h"

#include <QApplication>
#include <QHeaderView>
#include <QSignalBlocker>

#include <tuple>

namespace {

QString readProblem(const QString& error)
{
    return error.isEmpty() ? QString() : QStringLiteral("Could not read from the library: %1").arg(error);
}

void showProblem(QLabel* label, const QString& error)
{
    label->setText(readProblem(error));
    label->setVisible(!error.isEmpty());
}

// Selects `name` in the combo box without choosing anything through it.
void selectQuietly(QComboBox* box, const QString& name)
{
    const QSignalBlocker quiet(box);
    box->setCurrentIndex(box->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

} // namespace

LibraryContentsWindow::LibraryContentsWindow(ContentsSource& source, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_ui(std::make_unique<Ui::LibraryContentsWindow>())
    , m_contents(source)
{
    m_ui->setupUi(this);
    // A line under the tree and under the table says why a read failed.
    m_ui->TopicsMessage->hide();
    m_ui->CodesMessage->hide();

    m_ui->TopicTree->setModel(&m_contents.filteredTopics());
    m_ui->TopicTree->header()->setStretchLastSection(true);
    m_ui->TopicTree->header()->resizeSection(TopicTreeModel::DescriptionColumn, 360);

    m_ui->CodeTable->setModel(&m_contents.codes());
    QHeaderView* columns = m_ui->CodeTable->horizontalHeader();
    columns->setStretchLastSection(true);
    columns->resizeSection(CodeTableModel::CodeColumn, 90);
    columns->resizeSection(CodeTableModel::DocumentColumn, 160);
    columns->setSectionsClickable(true);
    columns->setSortIndicatorShown(true);
    columns->setSortIndicator(CodeTableModel::CodeColumn, Qt::AscendingOrder);
    m_ui->CodeTable->verticalHeader()->setDefaultSectionSize(m_ui->CodeTable->fontMetrics().height() + 6);
    m_ui->CodeTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);

    m_searchDelay.setSingleShot(true);
    m_searchDelay.setInterval(searchDelayMs);

    connect(m_ui->ModuleChoice, &QComboBox::currentIndexChanged, this, &LibraryContentsWindow::moduleChosen);
    connect(m_ui->SystemChoice, &QComboBox::currentIndexChanged, this, &LibraryContentsWindow::systemChosen);
    connect(m_ui->TopicFilter, &QLineEdit::textChanged, this, &LibraryContentsWindow::filterChanged);
    connect(m_ui->CodeSearch, &QLineEdit::textChanged, &m_searchDelay, qOverload<>(&QTimer::start));
    connect(m_ui->CodeSearch, &QLineEdit::returnPressed, this, &LibraryContentsWindow::searchNow);
    connect(&m_searchDelay, &QTimer::timeout, this, &LibraryContentsWindow::searchNow);
    connect(columns, &QHeaderView::sortIndicatorChanged, this, &LibraryContentsWindow::sortChanged);
    connect(m_ui->RefreshContents, &QPushButton::clicked, this,
        [this]() { refresh(m_contents.module(), m_contents.codingSystem(), false); });
    connect(m_ui->CloseContents, &QPushButton::clicked, this, &QWidget::close);
    // Every page the table reads changes the count line.
    connect(&m_contents.codes(), &QAbstractItemModel::rowsInserted, this, &LibraryContentsWindow::showCodes);
    m_contents.codes().setReadHandler([this](const QString& error) { showProblem(m_ui->CodesMessage, error); });

    showTopics();
    showCodes();
}

LibraryContentsWindow::~LibraryContentsWindow() = default;

void LibraryContentsWindow::refresh(const QString& module, const QString& system, bool preferSelection)
{
    // A search still waiting for the keys to pause is made now.
    m_searchDelay.stop();
    if (m_ui->CodeSearch->text() != m_contents.codeSearch())
        m_contents.setCodeSearch(m_ui->CodeSearch->text());
    m_contents.refresh(module, system, preferSelection);
    fillChoices();
    showTopics();
    showCodes();
}

void LibraryContentsWindow::showModule(const QString& name)
{
    if (name.isEmpty() || name == m_contents.module() || !m_contents.moduleNames().contains(name))
        return;
    m_contents.chooseModule(name);
    selectQuietly(m_ui->ModuleChoice, name);
    showTopics();
}

void LibraryContentsWindow::showCodingSystem(const QString& name)
{
    if (name.isEmpty() || name == m_contents.codingSystem() || !m_contents.codingSystemNames().contains(name))
        return;
    m_contents.chooseCodingSystem(name);
    selectQuietly(m_ui->SystemChoice, name);
    showCodes();
}

void LibraryContentsWindow::fillChoices()
{
    m_filling = true;
    for (auto [box, names, chosen] : { std::tuple(m_ui->ModuleChoice, m_contents.moduleNames(), m_contents.module()),
             std::tuple(m_ui->SystemChoice, m_contents.codingSystemNames(), m_contents.codingSystem()) }) {
        const QSignalBlocker quiet(box);
        box->clear();
        box->addItems(names);
        box->setCurrentIndex(box->findText(chosen, Qt::MatchExactly | Qt::MatchCaseSensitive));
    }
    m_filling = false;
}

void LibraryContentsWindow::showTopics()
{
    m_ui->TopicCounts->setText(m_contents.topicCounts());
    showProblem(m_ui->TopicsMessage, m_contents.topicsError());
    if (!m_contents.topicFilter().isEmpty())
        m_ui->TopicTree->expandAll();
}

void LibraryContentsWindow::showCodes()
{
    m_ui->CodeCounts->setText(m_contents.codeCounts());
    showProblem(m_ui->CodesMessage, m_contents.codesError());
}

void LibraryContentsWindow::moduleChosen(int index)
{
    if (m_filling || index < 0)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_contents.chooseModule(m_ui->ModuleChoice->itemText(index));
    QApplication::restoreOverrideCursor();
    showTopics();
}

void LibraryContentsWindow::systemChosen(int index)
{
    if (m_filling || index < 0)
        return;
    m_contents.chooseCodingSystem(m_ui->SystemChoice->itemText(index));
    showCodes();
}

void LibraryContentsWindow::filterChanged(const QString& text)
{
    m_contents.setTopicFilter(text);
    // Matches may lie deep in the tree: show them all; an empty filter
    // gives the tree back folded.
    if (text.isEmpty())
        m_ui->TopicTree->collapseAll();
    showTopics();
}

void LibraryContentsWindow::searchNow()
{
    m_searchDelay.stop();
    if (m_ui->CodeSearch->text() == m_contents.codeSearch() && m_contents.codes().error().isEmpty())
        return;
    m_contents.setCodeSearch(m_ui->CodeSearch->text());
    showCodes();
}

void LibraryContentsWindow::sortChanged(int column, Qt::SortOrder order)
{
    // Any order but by code reads every matching code first.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_contents.codes().sort(column, order);
    QApplication::restoreOverrideCursor();
    showCodes();
}
