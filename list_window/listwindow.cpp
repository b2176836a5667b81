// SPDX-License-Identifier: MIT
#include "listwindow.h"

#include "accesskeys.h"
#include "listinput.h"
#include "msgbox.h"
#include "placement.h"
#include "runtime.h"
#include "strokedata.h"
#include "runtimeerror.h"
#include "statusline.h"
#include "systemtext.h"
#include "ui_listwindow.h"
#include "workbook.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QVBoxLayout>
#include <QMessageBox>
#include <QUndoStack>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QScopedValueRollback>
#include <QSettings>
#include <QTimer>

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// A name list is far smaller; a file larger than this is not one, and
// reading it whole would take the memory of the rest of the system.
constexpr qint64 largestFile = qint64(256) << 20;
constexpr qint64 readBlock = qint64(1) << 20;
// The widths of the columns follow the cells of this many rows at most,
// so that a long list shows at once.
constexpr int widthSampleRows = 200;
// Extra room beside the text of a row, for its frame and padding.
constexpr int rowPadding = 6;
// Undo goes this far back; a step holds a whole list only when it replaced one.
constexpr int undoSteps = 100;
// Column captions in the choice boxes are cut to this many characters.
constexpr qsizetype longestColumnTitle = 20;
// Where the chosen rule is remembered between runs.
const QString ruleSetting = u"list/rule"_s;
const QString countsSetting = u"list/withCounts"_s;
// How long the encoding box waits, after a step with the keys, for the next.
constexpr int encodingPauseMs = 600;

// One change of the list, undone by putting back the list as it was. The
// change is made before the step is pushed, so the first redo does nothing.
class ListStep : public QUndoCommand
{
public:
    template<typename Snapshot, typename Apply>
    ListStep(const QString &what, Snapshot before, Snapshot after, Apply apply)
        : QUndoCommand(what)
        , m_undo([apply, before = std::move(before)] { apply(before); })
        , m_redo([apply, after = std::move(after)] { apply(after); })
    {
    }
    void undo() override { m_undo(); }
    void redo() override
    {
        if (std::exchange(m_done, true))
            m_redo();
    }

private:
    std::function<void()> m_undo;
    std::function<void()> m_redo;
    bool m_done = false;
};

} // namespace

ListWindow::ListWindow(QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::ListWindow>())
{
    ui->setupUi(this);
    StatusLine::install(ui->statusLabel);
    setUpTable();
    setUpChoices();
    setUpShortcuts();
    connectControls();
    ui->table->setFocus();
    showState();
    centreOnScreen(this);
}

void ListWindow::setUpTable()
{
    QHeaderView *rows = ui->table->verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + rowPadding);
    ui->table->horizontalHeader()->setResizeContentsPrecision(widthSampleRows);
    // The names, not the one-character 起笔, get the width the cells need.
    ui->table->horizontalHeader()->setStretchLastSection(false);
    ui->table->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->table, &QWidget::customContextMenuRequested, this, &ListWindow::showTableMenu);
    m_emptyHint = new QLabel(ui->statusLabel->text(), ui->table->viewport());
    m_emptyHint->setAlignment(Qt::AlignCenter);
    m_emptyHint->setWordWrap(true);
    m_emptyHint->setEnabled(false);
    (new QVBoxLayout(ui->table->viewport()))->addWidget(m_emptyHint);
    setAcceptDrops(true);
}

void ListWindow::setUpChoices()
{
    struct RuleItem
    {
        NameRule rule;
        QString explanation;
    };
    const RuleItem rules[] = {
            {NameRule::Surname, tr("两个字的姓名在姓和名之间空一格，单名排在同姓的双名前，如：王毅 王沪宁")},
            {NameRule::FullName, tr("姓名一个字一个字地比，如：王沪宁 王毅")},
            {NameRule::Traditional, tr("繁体字名单：按台湾、香港的笔画数，再按部首（系统 ICU 的规则，不用 Tarvelo 的笔画库）")},
    };
    for (const RuleItem &item : rules) {
        ui->ruleBox->addItem(ruleCaption(item.rule), int(item.rule));
        ui->ruleBox->setItemData(ui->ruleBox->count() - 1, item.explanation, Qt::ToolTipRole);
    }
    const auto remembered = nameRuleFromName(QSettings().value(ruleSetting).toString());
    ui->ruleBox->setCurrentIndex(std::max(ui->ruleBox->findData(int(remembered.value_or(NameRule::Surname))), 0));
    ui->groupBox->addItem(tr("不分组"), -1);
    ui->countsBox->setChecked(QSettings().value(countsSetting, false).toBool());
    connect(ui->countsBox, &QCheckBox::toggled, this, [](bool on) { QSettings().setValue(countsSetting, on); });
    connect(ui->renumberBox, &QCheckBox::toggled, this, [this](bool on) {
        if (m_model)
            m_model->setRenumbered(on);
    });

    ui->encodingBox->addItem(tr("自动识别"), QString());
    for (const QString &encoding : ListInput::availableEncodings())
        ui->encodingBox->addItem(encoding, encoding);
}

void ListWindow::setUpShortcuts()
{
    const auto addShortcut = [this](QKeySequence keys, void (ListWindow::*slot)()) {
        auto *action = new QAction(this);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
    };
    addShortcut(QKeySequence::Paste, &ListWindow::paste);
    addShortcut(QKeySequence::Copy, &ListWindow::copy);
    addShortcut(QKeySequence::Open, &ListWindow::open);
    addShortcut(QKeySequence::Save, &ListWindow::saveAs);
    addShortcut(QKeySequence::HelpContents, &ListWindow::showHelp);
    addShortcut(QKeySequence::Undo, &ListWindow::undo);
    addShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), &ListWindow::redo);
    addShortcut(QKeySequence(Qt::CTRL | Qt::Key_Y), &ListWindow::redo);
    m_undo = new QUndoStack(this);
    m_undo->setUndoLimit(undoSteps);
    connect(m_undo, &QUndoStack::indexChanged, this, [this] { showState(); });
    m_encodingPause.setSingleShot(true);
    m_encodingPause.setInterval(encodingPauseMs);
    connect(&m_encodingPause, &QTimer::timeout, this, &ListWindow::encodingChosen);
    ui->encodingBox->installEventFilter(this);
}

void ListWindow::connectControls()
{
    connect(ui->pasteButton, &QPushButton::clicked, this, &ListWindow::paste);
    connect(ui->openButton, &QPushButton::clicked, this, &ListWindow::open);
    connect(ui->sortButton, &QPushButton::clicked, this, &ListWindow::sortByStrokes);
    connect(ui->restoreButton, &QPushButton::clicked, this, &ListWindow::restoreInputOrder);
    connect(ui->copyButton, &QPushButton::clicked, this, &ListWindow::copy);
    connect(ui->saveButton, &QPushButton::clicked, this, &ListWindow::saveAs);
    for (QPushButton *button : {ui->pasteButton, ui->openButton, ui->sortButton, ui->restoreButton,
                                ui->copyButton, ui->saveButton})
        clickOnAccessKey(button);
    connect(ui->nameColumnBox, &QComboBox::activated, this, &ListWindow::nameColumnChosen);
    connect(ui->headerBox, &QCheckBox::toggled, this, &ListWindow::headerSwitched);
    connect(ui->ruleBox, &QComboBox::activated, this, &ListWindow::ruleChosen);
    connect(ui->groupBox, &QComboBox::activated, this, &ListWindow::sortOptionsChanged);
    connect(ui->descendingBox, &QCheckBox::toggled, this, &ListWindow::sortOptionsChanged);
    ui->table->horizontalHeader()->setSectionsClickable(true);
    connect(ui->table->horizontalHeader(), &QHeaderView::sectionClicked, this, &ListWindow::headerClicked);
    connect(ui->encodingBox, &QComboBox::activated, this, [this] {
        if (std::exchange(m_encodingStepping, false))
            m_encodingPause.start();
        else
            encodingChosen();
    });
}

void ListWindow::setRules(StrokeRules &rules)
{
    m_rules = &rules;
    if (rules.hasCounts())
        readCounts();
}

bool ListWindow::event(QEvent *event)
{
    const bool handled = QWidget::event(event);
    // The window shows no list before a command, so reading the counts can
    // wait for the first paint, and then need wait no more than the next
    // turn of the event loop.
    if (event->type() == QEvent::Paint && m_rules && !m_countsScheduled) {
        m_countsScheduled = true;
        QTimer::singleShot(0, this, [this] { runHandler([this] { readCounts(); }); });
    }
    return handled;
}

void ListWindow::readCounts()
{
    if (!m_rules)
        return;
    // Tried once: a failure is reported once, and the window takes no list.
    StrokeRules &rules = *std::exchange(m_rules, nullptr);
    rules.readCounts();
    m_model = std::make_unique<NameListModel>(rules.strokes(), rules.order());
    ui->table->setModel(m_model.get());
    connect(ui->table->selectionModel(), &QItemSelectionModel::selectionChanged, this, &ListWindow::showCopyScope);
    connect(m_model.get(), &QAbstractItemModel::modelReset, this, &ListWindow::showCopyScope);
    showState();
}

bool ListWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->encodingBox) {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            const bool step = key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp
                    || key == Qt::Key_PageDown || key == Qt::Key_Home || key == Qt::Key_End;
            m_encodingStepping = step && !ui->encodingBox->view()->isVisible();
        } else if (event->type() == QEvent::Wheel) {
            m_encodingStepping = true;
        } else if (event->type() == QEvent::FocusOut && m_encodingPause.isActive()) {
            m_encodingPause.stop();
            encodingChosen();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ListWindow::dragEnterEvent(QDragEnterEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.first().isLocalFile())
        event->acceptProposedAction();
}

void ListWindow::dropEvent(QDropEvent *event)
{
    const QString path = event->mimeData()->urls().value(0).toLocalFile();
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    // Not inside the drag's own event loop, which a message box would stall.
    QTimer::singleShot(0, this, [this, path] { openFile(path); });
}

void ListWindow::showTableMenu(const QPoint &position)
{
    if (!m_model || m_model->rowCount() == 0)
        return;
    const int column = ui->table->columnAt(position.x());
    QMenu menu(this);
    menu.addAction(tr("复制整个名单(&C)"), this, [this] { runCommand([this] { copyRows({}); }); });
    QAction *selected = menu.addAction(tr("复制选中的行(&L)"), this, &ListWindow::copySelectedRows);
    selected->setEnabled(ui->table->selectionModel()->hasSelection());
    if (column >= 0 && column < m_model->cellColumnCount())
        menu.addAction(tr("按“%1”排序(&S)").arg(shortColumnTitle(column)), this, [this, column] { headerClicked(column); });
    menu.addSeparator();
    QAction *undoing = menu.addAction(tr("撤销%1(&U)").arg(m_undo->undoText()), this, &ListWindow::undo);
    undoing->setShortcut(QKeySequence::Undo);
    undoing->setEnabled(m_undo->canUndo());
    QAction *redoing = menu.addAction(tr("重做%1(&R)").arg(m_undo->redoText()), this, &ListWindow::redo);
    redoing->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    redoing->setEnabled(m_undo->canRedo());
    menu.addSeparator();
    menu.addAction(tr("帮助(&H)"), this, &ListWindow::showHelp)->setShortcut(QKeySequence::HelpContents);
    menu.exec(ui->table->viewport()->mapToGlobal(position));
}

void ListWindow::showHelp()
{
    if (QApplication::activeModalWidget())
        return;
    QMessageBox box(QMessageBox::Information, windowTitle(), tr("名单笔画排序的用法"), QMessageBox::Close, this);
    box.setInformativeText(tr(
            "粘贴：在表格里选中姓名所在的几列复制，在这里按 Ctrl+V；也可以打开 TXT、CSV 文件，或把文件拖进窗口。\n\n"
            "排序规则：\n"
            "· 按姓氏笔画：两个字的姓名看作姓、空一格、名，同姓的单名排在双名前，如 王毅 王沪宁。"
            "公布的名单注明“按姓氏笔画为序”时用这个。\n"
            "· 按姓名笔画：一个字一个字地比，如 王沪宁 王毅。\n"
            "· 繁體筆劃：繁体字名单，按台湾、香港的笔画数，再按部首。\n"
            "空白的姓名总在最后。可以先按另一列（如单位）分组，也可以倒序；点列标题按这一列排序。\n\n"
            "复制：Ctrl+C 复制整个名单和标题行，粘贴回表格即可；选中两行以上时只复制选中的行。\n"
            "撤销：Ctrl+Z；重做：Ctrl+Shift+Z。"));
    box.exec();
}

void ListWindow::closeEvent(QCloseEvent *event)
{
    // Undo keeps every change while the window is open; closing ends that.
    if (hasUnsavedChanges() && !QApplication::activeModalWidget()) {
        const auto answer = QMessageBox::question(
                this, windowTitle(), tr("名单改过以后还没有复制或保存，关闭就会丢掉这些改动。仍然关闭吗？"),
                QMessageBox::Close | QMessageBox::Cancel, QMessageBox::Cancel);
        if (answer != QMessageBox::Close) {
            event->ignore();
            return;
        }
    }
    QWidget::closeEvent(event);
}

ListWindow::~ListWindow()
{
    // The stack outlives the form it reports to.
    m_undo->disconnect(this);
}

void ListWindow::runCommand(const std::function<void()> &command)
{
    // As in the main window: the accessibility bus presses buttons past a
    // modal window, and a command must not replace the list under another.
    if (m_commandRunning || QApplication::activeModalWidget())
        return;
    // A command given before the first paint waits for the counts.
    runHandler([this] { readCounts(); });
    if (!m_model)
        return;
    const QScopedValueRollback running(m_commandRunning, true);
    try {
        command();
    } catch (const RuntimeError &error) {
        MsgBox(error.description(), vbExclamation, windowTitle());
    } catch (const std::bad_alloc &) {
        MsgBox(tr("内存不足，名单没有改动。"), vbCritical, windowTitle());
    }
}

void ListWindow::change(const QString &what, const std::function<bool()> &action)
{
    Snapshot before = snapshot();
    if (!action())
        return;
    m_undo->push(new ListStep(what, std::move(before), snapshot(), [this](const Snapshot &shot) { restore(shot); }));
}

ListWindow::Snapshot ListWindow::snapshot() const
{
    return {m_model->state(), m_source, m_openedFile, m_sheetName};
}

void ListWindow::restore(const Snapshot &shot)
{
    m_model->setState(shot.model);
    m_source = shot.source;
    m_openedFile = shot.openedFile;
    m_sheetName = shot.sheetName;
    const QSignalBlocker blocker(ui->headerBox);
    ui->headerBox->setChecked(m_model->firstIsHeader());
    fillNameColumns();
    if (m_model->isSorted()) {
        const NameListModel::SortKeys &keys = m_model->sortKeys();
        const QSignalBlocker ruleBlocker(ui->ruleBox);
        const QSignalBlocker descendingBlocker(ui->descendingBox);
        ui->ruleBox->setCurrentIndex(std::max(ui->ruleBox->findData(int(keys.rule)), 0));
        ui->descendingBox->setChecked(keys.descending);
        ui->groupBox->setCurrentIndex(std::max(ui->groupBox->findData(keys.groupColumn), 0));
    }
    showState();
}

void ListWindow::undo()
{
    runCommand([this] { m_undo->undo(); });
}

void ListWindow::redo()
{
    runCommand([this] { m_undo->redo(); });
}

void ListWindow::say(const QString &text)
{
    StatusLine::tell(ui->statusLabel, text);
}

void ListWindow::paste()
{
    runCommand([this] {
        const QString text = QApplication::clipboard()->text();
        if (ListInput::isMostlyControl(text)) {
            say(tr("剪贴板里的内容不像文字（多是控制字符），名单没有改动。"));
            return;
        }
        qsizetype openQuoteLine = 0;
        const QList<QStringList> records = ListInput::parsePasted(text, &openQuoteLine);
        // An empty paste leaves the list as it is.
        if (!ListInput::hasContent(records)) {
            say(tr("剪贴板里没有文字，名单没有改动。请先在表格里选中姓名复制。"));
            return;
        }
        const bool replacing = hasUnsavedChanges();
        change(tr("粘贴"), [&] {
            take(records, tr("粘贴"));
            m_openedFile.clear();
            return true;
        });
        ui->encodingBox->setCurrentIndex(0);
        m_undo->setClean();
        warnOfOpenQuote(openQuoteLine);
        tellOfReplacedChanges(replacing);
    });
}

void ListWindow::open()
{
    runCommand([this] {
        const QString path = QFileDialog::getOpenFileName(this, tr("打开名单"), QString(),
                                                          tr("名单 (*.txt *.csv *.tsv *.xlsx *.ods);;Excel 工作簿 (*.xlsx);;"
                                                             "ODS 电子表格 (*.ods);;所有文件 (*)"));
        if (!path.isEmpty())
            readFile(path, encodingForNextFile());
    });
}

void ListWindow::openFile(const QString &path)
{
    runCommand([this, &path] { readFile(path, encodingForNextFile()); });
}

QString ListWindow::encodingForNextFile() const
{
    // A choice made while a file is open was for that file; one made before
    // any is for the file opened next.
    return m_openedFile.isEmpty() ? ui->encodingBox->currentData().toString() : QString();
}

void ListWindow::readFile(const QString &path, const QString &encoding)
{
    if (Workbook::isWorkbook(path)) {
        readWorkbook(path);
        return;
    }
    const QString shown = QDir::toNativeSeparators(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw RuntimeError(tr("打不开“%1”：%2。").arg(shown, quotedSystemText(file.errorString())));
    // Read in blocks up to the limit, whatever size the file claims: a
    // device or a growing file has none that holds.
    QByteArray bytes;
    QByteArray block(readBlock, Qt::Uninitialized);
    for (qint64 got = 0; (got = file.read(block.data(), readBlock)) > 0;) {
        if (bytes.size() + got > largestFile)
            throw RuntimeError(tr("“%1”太大，不像是名单，没有读入。").arg(shown));
        bytes.append(block.constData(), got);
    }
    if (file.error() != QFileDevice::NoError)
        throw RuntimeError(tr("读不了“%1”：%2。").arg(shown, quotedSystemText(file.errorString())));
    const ListInput::Decoded decoded = ListInput::decode(bytes, encoding);
    if (decoded.invalidLine > 0)
        throw RuntimeError(tr("“%1”第 %2 行有不是 %3 编码的字节，名单没有读入。"
                              "请在“文件编码”里选择文件实际的编码。")
                                   .arg(shown)
                                   .arg(decoded.invalidLine)
                                   .arg(decoded.encoding));
    if (ListInput::isMostlyControl(decoded.text))
        throw RuntimeError(tr("“%1”不像文本文件（多是控制字符），名单没有读入。").arg(shown));
    qsizetype openQuoteLine = 0;
    QList<QStringList> records = ListInput::parseFile(decoded.text, path, &openQuoteLine);
    // A choice of encoding is for the file it was made for.
    const QSignalBlocker blocker(ui->encodingBox);
    ui->encodingBox->setCurrentIndex(std::max(ui->encodingBox->findData(encoding), 0));
    m_fileEncoding = encoding;
    const bool replacing = hasUnsavedChanges();
    change(tr("打开"), [&] {
        m_openedFile = path;
        m_sheetName.clear();
        QString source = tr("%1（%2 编码）").arg(QFileInfo(path).fileName(), decoded.encoding);
        if (decoded.doubtful)
            source += tr("，字看起来不对时请在“文件编码”里选择文件实际的编码");
        take(std::move(records), source);
        return true;
    });
    m_undo->setClean();
    warnOfOpenQuote(openQuoteLine);
    tellOfReplacedChanges(replacing);
}

void ListWindow::readWorkbook(const QString &path)
{
    const QString fileName = QFileInfo(path).fileName();
    const QStringList sheets = Workbook::sheetNames(path);
    int index = 0;
    if (sheets.size() > 1) {
        bool chosen = false;
        const int remembered = path == m_openedFile ? std::clamp(m_sheet, 0, int(sheets.size()) - 1) : 0;
        const QString sheet = QInputDialog::getItem(this, tr("选择工作表"),
                                                    tr("“%1”有 %2 个工作表，读入哪一个？").arg(fileName).arg(sheets.size()),
                                                    sheets, remembered, false, &chosen);
        if (!chosen)
            return;
        index = int(sheets.indexOf(sheet));
    }
    Workbook::Sheet sheet = Workbook::readSheet(path, index);
    if (!ListInput::hasContent(sheet.records))
        throw RuntimeError(tr("“%1”的工作表“%2”是空的，名单没有改动。").arg(fileName, sheets.at(index)));
    const bool replacing = hasUnsavedChanges();
    change(tr("打开"), [&] {
        m_openedFile = path;
        m_sheet = index;
        m_sheetName = sheets.at(index);
        QString source = tr("%1 的工作表“%2”").arg(fileName, sheets.at(index));
        QStringList hidden;
        if (sheet.hiddenRows > 0)
            hidden.append(tr("%1 行").arg(sheet.hiddenRows));
        if (sheet.hiddenColumns > 0)
            hidden.append(tr("%1 列").arg(sheet.hiddenColumns));
        if (!hidden.isEmpty())
            source += tr("（表中隐藏的 %1也已读入）").arg(hidden.join(tr("和")));
        take(std::move(sheet.records), source);
        return true;
    });
    m_undo->setClean();
    tellOfReplacedChanges(replacing);
}

void ListWindow::warnOfOpenQuote(qsizetype line)
{
    if (line > 0)
        say(ui->statusLabel->text()
            + tr("注意：第 %1 行有一个引号没有配对，从那里到末尾的内容都读进了同一个格子。").arg(line));
}

void ListWindow::encodingChosen()
{
    m_encodingPause.stop();
    const QString encoding = ui->encodingBox->currentData().toString();
    // A workbook's cells carry no encoding to choose.
    if (m_openedFile.isEmpty() || Workbook::isWorkbook(m_openedFile))
        return;
    runCommand([this, &encoding] { readFile(m_openedFile, encoding); });
    // A choice the file cannot be read in leaves the box as the list was read.
    const QSignalBlocker blocker(ui->encodingBox);
    ui->encodingBox->setCurrentIndex(std::max(ui->encodingBox->findData(m_fileEncoding), 0));
}

bool ListWindow::hasUnsavedChanges() const
{
    return m_model && m_model->rowCount() > 0 && !m_undo->isClean();
}

void ListWindow::tellOfReplacedChanges(bool replaced)
{
    if (replaced)
        say(ui->statusLabel->text() + tr("替换掉的名单改过还没有保存，按 Ctrl+Z 可以找回。"));
}

void ListWindow::take(QList<QStringList> records, const QString &source)
{
    const int nameColumn = ListInput::guessNameColumn(records);
    const bool header = ListInput::guessHeader(records, nameColumn);
    m_model->setRecords(std::move(records), header, nameColumn);
    m_source = source;
    const QSignalBlocker blocker(ui->headerBox);
    ui->headerBox->setChecked(m_model->firstIsHeader());
    fillNameColumns();
    ui->table->resizeColumnsToContents();
    showState();
}

void ListWindow::fillNameColumns()
{
    const int group = ui->groupBox->currentData().toInt();
    ui->nameColumnBox->clear();
    ui->groupBox->clear();
    ui->groupBox->addItem(tr("不分组"), -1);
    for (int column = 0; column < m_model->cellColumnCount(); ++column) {
        const QString caption = tr("第 %1 列：%2").arg(column + 1).arg(shortColumnTitle(column));
        ui->nameColumnBox->addItem(caption);
        ui->groupBox->addItem(caption, column);
    }
    ui->nameColumnBox->setCurrentIndex(m_model->nameColumn());
    ui->groupBox->setCurrentIndex(std::max(ui->groupBox->findData(group), 0));
}

QString ListWindow::shortColumnTitle(int column) const
{
    const QString title = m_model->cellColumnTitle(column);
    // A heading is short; a long first cell would widen the window.
    return title.size() > longestColumnTitle ? title.left(longestColumnTitle) + u'…' : title;
}

void ListWindow::nameColumnChosen(int index)
{
    runCommand([this, index] {
        change(tr("选择姓名所在列"), [&] {
            if (index == m_model->nameColumn())
                return false;
            m_model->setNameColumn(index);
            return true;
        });
        showState();
    });
}

void ListWindow::headerSwitched(bool firstIsHeader)
{
    runCommand([this, firstIsHeader] {
        change(firstIsHeader ? tr("第一行作标题") : tr("第一行作姓名"), [&] {
            m_model->setFirstIsHeader(firstIsHeader);
            return true;
        });
        fillNameColumns();
        showState();
    });
    // A refused switch leaves the box as the list is.
    if (m_model) {
        const QSignalBlocker blocker(ui->headerBox);
        ui->headerBox->setChecked(m_model->firstIsHeader());
    }
}

QString ListWindow::ruleCaption(NameRule rule)
{
    switch (rule) {
    case NameRule::FullName:
        return tr("按姓名笔画");
    case NameRule::Traditional:
        return tr("繁體筆劃");
    case NameRule::Surname:
        break;
    }
    return tr("按姓氏笔画");
}

NameRule ListWindow::chosenRule() const
{
    return NameRule(ui->ruleBox->currentData().toInt());
}

NameListModel::SortKeys ListWindow::chosenSortKeys() const
{
    return {-1, ui->descendingBox->isChecked(), ui->groupBox->currentData().toInt(), chosenRule()};
}

void ListWindow::sortByStrokes()
{
    runCommand([this] { sortBy(chosenSortKeys()); });
}

void ListWindow::sortBy(const NameListModel::SortKeys &keys)
{
    change(tr("排序"), [&] {
        if (m_model->isSorted() && m_model->sortKeys() == keys)
            return false;
        m_model->sortBy(keys);
        return true;
    });
    showState();
}

void ListWindow::ruleChosen()
{
    QSettings().setValue(ruleSetting, nameRuleName(chosenRule()));
    showState();
    sortOptionsChanged();
}

void ListWindow::sortOptionsChanged()
{
    // A list in order follows the choices at once; one in its own order
    // waits for the sort button.
    runCommand([this] {
        if (!m_model->isSorted())
            return;
        NameListModel::SortKeys keys = m_model->sortKeys();
        keys.rule = chosenRule();
        keys.descending = ui->descendingBox->isChecked();
        keys.groupColumn = ui->groupBox->currentData().toInt();
        sortBy(keys);
    });
}

void ListWindow::headerClicked(int section)
{
    runCommand([this, section] {
        if (section >= m_model->cellColumnCount())
            return;
        const int column = section == m_model->nameColumn() ? -1 : section;
        NameListModel::SortKeys keys = chosenSortKeys();
        keys.column = column;
        // A second click on the same column turns the order round.
        if (m_model->isSorted() && m_model->sortKeys().column == column)
            keys.descending = !m_model->sortKeys().descending;
        if (keys.groupColumn == section)
            keys.groupColumn = -1;
        const QSignalBlocker blocker(ui->descendingBox);
        ui->descendingBox->setChecked(keys.descending);
        sortBy(keys);
    });
}

void ListWindow::restoreInputOrder()
{
    runCommand([this] {
        change(tr("恢复原顺序"), [&] {
            if (!m_model->isSorted())
                return false;
            m_model->restoreInputOrder();
            return true;
        });
        showState();
    });
}

QList<int> ListWindow::chosenRows() const
{
    // One row is selected by any click or arrow key, and every row by
    // Ctrl+A: neither means the user chose some rows to copy.
    QList<int> rows;
    if (!m_model || !ui->table->selectionModel())
        return rows;
    for (const QModelIndex &index : ui->table->selectionModel()->selectedRows())
        rows.append(index.row());
    if (rows.size() < 2 || rows.size() >= m_model->rowCount())
        return {};
    std::sort(rows.begin(), rows.end());
    return rows;
}

void ListWindow::copy()
{
    runCommand([this] { copyRows(chosenRows()); });
}

void ListWindow::copySelectedRows()
{
    runCommand([this] {
        QList<int> rows;
        for (const QModelIndex &index : ui->table->selectionModel()->selectedRows())
            rows.append(index.row());
        std::sort(rows.begin(), rows.end());
        // All rows selected go out as the whole list, with the header.
        if (rows.size() == m_model->rowCount())
            rows.clear();
        copyRows(rows);
    });
}

void ListWindow::copyRows(const QList<int> &rows)
{
    if (m_model->rowCount() == 0)
        return;
    const QList<QStringList> records = m_model->shownRecords(rows, countsOut());
    if (const auto lone = ListOutput::findLoneSurrogate(records))
        throw RuntimeError(tr("没有复制：%1，粘贴到别处会变成“?”。").arg(loneSurrogateText(*lone, rows)));
    QApplication::clipboard()->setText(ListOutput::clipboardText(records));
    if (rows.isEmpty())
        m_undo->setClean();
    const QString header = rows.isEmpty() && m_model->firstIsHeader() ? tr("和标题行") : QString();
    say(tr("已复制 %1 行%2，可以粘贴到表格里。").arg(rows.isEmpty() ? m_model->rowCount() : rows.size()).arg(header));
}

void ListWindow::showCopyScope()
{
    const QList<int> rows = chosenRows();
    const QString text = rows.isEmpty() ? tr("复制") : tr("复制选中的 %1 行").arg(rows.size());
    ui->copyButton->setText(text + u"(&C)"_s);
    ui->copyButton->setAccessibleName(text);
    ui->copyButton->setToolTip(rows.isEmpty() ? tr("按显示的顺序复制整个名单和标题行，可粘贴回表格（Ctrl+C）")
                                              : tr("按显示的顺序复制选中的行，可粘贴回表格（Ctrl+C）"));
}

NameListModel::Counts ListWindow::countsOut() const
{
    return ui->countsBox->isChecked() ? NameListModel::Counts::Added : NameListModel::Counts::Left;
}

namespace {

bool isOds(const QString &path)
{
    return QFileInfo(path).suffix().compare(u"ods"_s, Qt::CaseInsensitive) == 0;
}

} // namespace

QString ListWindow::suggestedSavePath(bool fromWorkbook) const
{
    if (m_openedFile.isEmpty())
        return tr("名单.csv");
    const QFileInfo opened(m_openedFile);
    if (!fromWorkbook)
        return opened.dir().filePath(opened.completeBaseName() + u".csv"_s);
    // A workbook goes beside the one it came from, not over it, in its
    // format.
    return opened.dir().filePath(tr("%1-笔画序.%2").arg(opened.completeBaseName(),
                                                        isOds(m_openedFile) ? u"ods"_s : u"xlsx"_s));
}

void ListWindow::saveAs()
{
    runCommand([this] {
        if (m_model->rowCount() == 0)
            return;
        const QString utf8 = tr("CSV 文件，UTF-8 编码 (*.csv)");
        const QString gb18030 = tr("CSV 文件，GB18030 编码 (*.csv)");
        const QString excel = tr("Excel 工作簿 (*.xlsx)");
        const QString ods = tr("OpenDocument 电子表格 (*.ods)");
        // Whether the list came from a workbook is read from the file's
        // first bytes, so once.
        const bool fromWorkbook = Workbook::isWorkbook(m_openedFile);
        QFileDialog dialog(this, tr("另存为"), suggestedSavePath(fromWorkbook),
                           QStringList{utf8, gb18030, excel, ods}.join(u";;"_s));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        const auto suffixFor = [excel, ods](const QString &filter) {
            return filter == excel ? u"xlsx"_s : filter == ods ? u"ods"_s : u"csv"_s;
        };
        if (fromWorkbook)
            dialog.selectNameFilter(isOds(m_openedFile) ? ods : excel);
        dialog.setDefaultSuffix(suffixFor(dialog.selectedNameFilter()));
        connect(&dialog, &QFileDialog::filterSelected, &dialog,
                [&dialog, suffixFor](const QString &filter) { dialog.setDefaultSuffix(suffixFor(filter)); });
        dialog.setObjectName(u"saveDialog"_s);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return;
        QString path = dialog.selectedFiles().first();
        const QString filter = dialog.selectedNameFilter();
        // Some desktops' own dialogs leave the suffix to the program.
        if (QFileInfo(path).suffix().isEmpty())
            path += u'.' + suffixFor(filter);
        // A name ending in the other workbook's suffix is taken at its word.
        const QString suffix = QFileInfo(path).suffix().toLower();
        if (filter == excel || filter == ods)
            writeWorkbook(path, suffix == u"ods" || (filter == ods && suffix != u"xlsx"));
        else
            writeCsv(path, filter == gb18030 ? ListOutput::CsvEncoding::Gb18030 : ListOutput::CsvEncoding::Utf8WithBom);
    });
}

void ListWindow::saveTo(const QString &path, ListOutput::CsvEncoding encoding)
{
    runCommand([this, &path, encoding] { writeCsv(path, encoding); });
}

void ListWindow::saveWorkbookTo(const QString &path)
{
    runCommand([this, &path] { writeWorkbook(path, isOds(path)); });
}

void ListWindow::writeWorkbook(const QString &path, bool ods)
{
    const QString shown = QDir::toNativeSeparators(path);
    const bool fromWorkbook = Workbook::isWorkbook(m_openedFile);
    if (fromWorkbook && QFileInfo(path) == QFileInfo(m_openedFile)) {
        const auto answer = QMessageBox::question(
                this, windowTitle(),
                tr("“%1”就是打开的工作簿。存到它上面，里面只剩这份名单：其他工作表、格式和公式都会丢掉。"
                   "仍然覆盖它吗？").arg(shown),
                QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::Cancel);
        if (answer != QMessageBox::Yes)
            return;
    }
    const QList<QStringList> records = m_model->shownRecords({}, countsOut());
    if (const auto lone = ListOutput::findLoneSurrogate(records))
        throw RuntimeError(tr("不能保存“%1”：%2。%3")
                                   .arg(shown, loneSurrogateText(*lone, {}),
                                        QFileInfo::exists(path) ? tr("原有的文件没有改动。") : QString()));
    Workbook::SaveOptions options;
    options.header = m_model->firstIsHeader();
    if (fromWorkbook)
        options.sheetName = m_sheetName;
    options.numberColumns = {m_model->sequenceColumn()};
    if (countsOut() == NameListModel::Counts::Added && !records.isEmpty())
        options.numberColumns.append(int(records.first().size()) - NameListModel::AddedColumnCount
                                     + NameListModel::TotalColumn);
    if (ods)
        Workbook::saveOds(path, records, options);
    else
        Workbook::saveXlsx(path, records, options);
    m_undo->setClean();
    say(fromWorkbook ? tr("已存为“%1”。只存了名单的单元格，原工作簿的格式、公式和其他工作表没有带过来。").arg(shown)
                     : tr("已存为“%1”。").arg(shown));
}

void ListWindow::writeCsv(const QString &path, ListOutput::CsvEncoding encoding)
{
    const QList<QStringList> records = m_model->shownRecords({}, countsOut());
    if (const auto lone = ListOutput::findLoneSurrogate(records))
        throw RuntimeError(tr("不能保存“%1”：%2。%3")
                                   .arg(QDir::toNativeSeparators(path), loneSurrogateText(*lone, {}),
                                        QFileInfo::exists(path) ? tr("原有的文件没有改动。") : QString()));
    ListOutput::save(path, ListOutput::csvBytes(records, encoding));
    m_undo->setClean();
    say(tr("已存为“%1”。").arg(QDir::toNativeSeparators(path)));
}

QString ListWindow::loneSurrogateText(const ListOutput::LoneSurrogate &lone, const QList<int> &rows) const
{
    // Rows are numbered as the window numbers them, from 1 below the header.
    qsizetype row = lone.record + 1;
    if (!rows.isEmpty())
        row = rows.at(lone.record) + 1;
    else if (m_model->firstIsHeader())
        row = lone.record;
    const QString column = QString::number(lone.column + 1);
    const QString place = row == 0 ? tr("标题行第 %1 列").arg(column) : tr("第 %1 行第 %2 列").arg(row).arg(column);
    return tr("%1有半个字（单独的 U+%2），写不成任何编码").arg(place, QString::number(lone.unit, 16).toUpper());
}

void ListWindow::showSortIndicator()
{
    QHeaderView *header = ui->table->horizontalHeader();
    const bool sorted = m_model && m_model->isSorted();
    header->setSortIndicatorShown(sorted);
    if (!sorted)
        return;
    const NameListModel::SortKeys &keys = m_model->sortKeys();
    const int section = keys.column < 0 ? m_model->nameColumn() : keys.column;
    header->setSortIndicator(section, keys.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    // The columns were fitted to their captions without the indicator,
    // which would now cover the caption of a narrow column.
    header->resizeSection(section, std::max(header->sectionSize(section), header->sectionSizeHint(section)));
}

QString ListWindow::orderText() const
{
    if (!m_model->isSorted())
        return tr("原顺序");
    const NameListModel::SortKeys &keys = m_model->sortKeys();
    const int column = keys.column < 0 ? m_model->nameColumn() : keys.column;
    QString order = column == m_model->nameColumn()
            ? tr("已%1排序").arg(ruleCaption(keys.rule))
            : tr("已按“%1”排序").arg(shortColumnTitle(column));
    if (keys.descending)
        order += tr("（倒序）");
    if (keys.groupColumn >= 0)
        order = tr("先按“%1”分组，%2").arg(shortColumnTitle(keys.groupColumn), order);
    return order;
}

void ListWindow::showState()
{
    const QString sortText = tr("%1排序").arg(ruleCaption(chosenRule()));
    ui->sortButton->setText(sortText + u"(&S)"_s);
    ui->sortButton->setAccessibleName(sortText);
    ui->sortButton->setToolTip(tr("按所选列的姓名%1排序（Alt+S）：%2")
                                       .arg(ruleCaption(chosenRule()),
                                            ui->ruleBox->currentData(Qt::ToolTipRole).toString()));
    const bool filled = m_model && m_model->rowCount() > 0;
    for (QWidget *widget : {static_cast<QWidget *>(ui->sortButton), static_cast<QWidget *>(ui->copyButton),
                            static_cast<QWidget *>(ui->saveButton), static_cast<QWidget *>(ui->nameColumnBox),
                            static_cast<QWidget *>(ui->headerBox), static_cast<QWidget *>(ui->groupBox)})
        widget->setEnabled(filled);
    ui->restoreButton->setEnabled(filled && m_model->isSorted());
    m_emptyHint->setVisible(!filled);
    showSortIndicator();
    ui->renumberBox->setEnabled(filled && m_model->sequenceColumn() >= 0);
    if (m_model)
        m_model->setRenumbered(ui->renumberBox->isChecked());
    showCopyScope();
    if (!filled)
        return;
    QString state = tr("%1：共 %2 行，%3。").arg(m_source).arg(m_model->rowCount()).arg(orderText());
    if (m_model->unknownRowCount() > 0)
        state += tr("有 %1 行含没有笔画数的字，已用颜色标出（指向该行可看是哪个字）。").arg(m_model->unknownRowCount());
    say(state);
}
