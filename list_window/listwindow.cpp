// SPDX-License-Identifier: MIT
#include "listwindow.h"

#include "accesskeys.h"
#include "listinput.h"
#include "msgbox.h"
#include "placement.h"
#include "runtime.h"
#include "strokedata.h"
#include "runtimeerror.h"
#include "systemtext.h"
#include "ui_listwindow.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QScopedValueRollback>
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

} // namespace

ListWindow::ListWindow(QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::ListWindow>())
{
    ui->setupUi(this);
    QHeaderView *rows = ui->table->verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + rowPadding);
    ui->table->horizontalHeader()->setResizeContentsPrecision(widthSampleRows);
    ui->table->horizontalHeader()->setStretchLastSection(true);

    ui->encodingBox->addItem(tr("自动识别"), QString());
    for (const QString &encoding : ListInput::availableEncodings())
        ui->encodingBox->addItem(encoding, encoding);

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
    connect(ui->encodingBox, &QComboBox::activated, this, &ListWindow::encodingChosen);
    ui->table->setFocus();
    showState();
    centreOnScreen(this);
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
    showState();
}

ListWindow::~ListWindow() = default;

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

void ListWindow::paste()
{
    runCommand([this] {
        const QList<QStringList> records = ListInput::parsePasted(QApplication::clipboard()->text());
        // An empty paste leaves the list as it is.
        if (!ListInput::hasContent(records))
            return;
        take(records, tr("粘贴"));
        m_openedFile.clear();
    });
}

void ListWindow::open()
{
    runCommand([this] {
        const QString path = QFileDialog::getOpenFileName(this, tr("打开名单"), QString(),
                                                          tr("名单 (*.txt *.csv *.tsv);;所有文件 (*)"));
        if (!path.isEmpty())
            readFile(path);
    });
}

void ListWindow::openFile(const QString &path)
{
    runCommand([this, &path] { readFile(path); });
}

void ListWindow::readFile(const QString &path)
{
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
    const ListInput::Decoded decoded = ListInput::decode(bytes, chosenEncoding());
    if (decoded.invalidLine > 0)
        throw RuntimeError(tr("“%1”第 %2 行有不是 %3 编码的字节，名单没有读入。"
                              "请在“文件编码”里选择文件实际的编码。")
                                   .arg(shown)
                                   .arg(decoded.invalidLine)
                                   .arg(decoded.encoding));
    m_openedFile = path;
    take(ListInput::parseFile(decoded.text, path),
         tr("%1（%2 编码）").arg(QFileInfo(path).fileName(), decoded.encoding));
}

void ListWindow::encodingChosen()
{
    if (!m_openedFile.isEmpty())
        openFile(m_openedFile);
}

QString ListWindow::chosenEncoding() const
{
    return ui->encodingBox->currentData().toString();
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
    ui->nameColumnBox->clear();
    for (int column = 0; column < m_model->cellColumnCount(); ++column)
        ui->nameColumnBox->addItem(tr("第 %1 列：%2").arg(column + 1).arg(m_model->cellColumnTitle(column)));
    ui->nameColumnBox->setCurrentIndex(m_model->nameColumn());
}

void ListWindow::nameColumnChosen(int index)
{
    runCommand([this, index] {
        m_model->setNameColumn(index);
        showState();
    });
}

void ListWindow::headerSwitched(bool firstIsHeader)
{
    runCommand([this, firstIsHeader] {
        m_model->setFirstIsHeader(firstIsHeader);
        fillNameColumns();
        showState();
    });
}

void ListWindow::sortByStrokes()
{
    runCommand([this] {
        m_model->sortByStrokes();
        showState();
    });
}

void ListWindow::restoreInputOrder()
{
    runCommand([this] {
        m_model->restoreInputOrder();
        showState();
    });
}

void ListWindow::copy()
{
    runCommand([this] {
        if (m_model->rowCount() == 0)
            return;
        QList<int> rows;
        for (const QModelIndex &index : ui->table->selectionModel()->selectedRows())
            rows.append(index.row());
        std::sort(rows.begin(), rows.end());
        const QList<QStringList> records = m_model->shownRecords(rows);
        if (const auto lone = ListOutput::findLoneSurrogate(records))
            throw RuntimeError(tr("没有复制：%1，粘贴到别处会变成“?”。").arg(loneSurrogateText(*lone, rows)));
        QApplication::clipboard()->setText(ListOutput::clipboardText(records));
        ui->statusLabel->setText(tr("已复制 %1 行，可以粘贴到表格里。").arg(rows.isEmpty() ? m_model->rowCount() : rows.size()));
    });
}

void ListWindow::saveAs()
{
    runCommand([this] {
        if (m_model->rowCount() == 0)
            return;
        const QString utf8 = tr("CSV 文件，UTF-8 编码 (*.csv)");
        const QString gb18030 = tr("CSV 文件，GB18030 编码 (*.csv)");
        QString filter = utf8;
        const QString path = QFileDialog::getSaveFileName(this, tr("另存为 CSV"), QString(),
                                                          utf8 + u";;"_s + gb18030, &filter);
        if (!path.isEmpty())
            writeCsv(path, filter == gb18030 ? ListOutput::CsvEncoding::Gb18030 : ListOutput::CsvEncoding::Utf8WithBom);
    });
}

void ListWindow::saveTo(const QString &path, ListOutput::CsvEncoding encoding)
{
    runCommand([this, &path, encoding] { writeCsv(path, encoding); });
}

void ListWindow::writeCsv(const QString &path, ListOutput::CsvEncoding encoding)
{
    const QList<QStringList> records = m_model->shownRecords();
    if (const auto lone = ListOutput::findLoneSurrogate(records))
        throw RuntimeError(tr("不能保存“%1”：%2。原有的文件没有改动。")
                                   .arg(QDir::toNativeSeparators(path), loneSurrogateText(*lone, {})));
    ListOutput::save(path, ListOutput::csvBytes(records, encoding));
    ui->statusLabel->setText(tr("已存为“%1”。").arg(QDir::toNativeSeparators(path)));
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

void ListWindow::showState()
{
    const bool filled = m_model && m_model->rowCount() > 0;
    for (QWidget *widget : {static_cast<QWidget *>(ui->sortButton), static_cast<QWidget *>(ui->copyButton),
                            static_cast<QWidget *>(ui->saveButton), static_cast<QWidget *>(ui->nameColumnBox),
                            static_cast<QWidget *>(ui->headerBox)})
        widget->setEnabled(filled);
    ui->restoreButton->setEnabled(filled && m_model->isSorted());
    if (!filled)
        return;
    QString state = tr("%1：共 %2 行，%3。").arg(m_source).arg(m_model->rowCount())
                            .arg(m_model->isSorted() ? tr("已按姓氏笔画排序") : tr("原顺序"));
    if (m_model->unknownRowCount() > 0)
        state += tr("有 %1 行含没有笔画数的字，已用颜色标出（指向该行可看是哪个字）。").arg(m_model->unknownRowCount());
    ui->statusLabel->setText(state);
}
