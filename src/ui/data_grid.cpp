#include "data_grid.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/twips.h"

namespace faq::ui {

namespace {

// A cheap stand-in for the width of a cell as shown, to find the few widest cells of a
// column without formatting every one: digits before the point weigh most in numbers
// (formats group them), characters in texts, East Asian ones twice.
size_t roughWidth(const data::Value& v) {
    constexpr size_t kIntegerDigit = 64;
    switch (v.type) {
        case data::FieldType::Null: return 0;
        case data::FieldType::Integer: {
            uint64_t u = v.i < 0 ? 0 - static_cast<uint64_t>(v.i) : static_cast<uint64_t>(v.i);
            size_t n = v.i < 0 ? 2 : 1;
            for (; u >= 10; u /= 10) ++n;
            return n * kIntegerDigit;
        }
        case data::FieldType::Double: {
            const double a = std::fabs(v.d);
            const size_t digits = std::isfinite(a) && a >= 1 ? static_cast<size_t>(std::log10(a)) + 1 : 3;
            return (digits + (v.d < 0)) * kIntegerDigit;
        }
        case data::FieldType::Decimal: {
            const size_t point = std::min(v.text.find('.'), v.text.size());
            return point * kIntegerDigit + v.text.size();
        }
        default: {
            size_t n = 0;
            for (const char ch : v.text) {
                const auto c = static_cast<unsigned char>(ch);
                n += ((c & 0xC0) != 0x80) + (c >= 0xE0);
            }
            return n;
        }
    }
}

}  // namespace

void GridView::keyPressEvent(QKeyEvent* e) {
    emit keyDown(e->key(), e->modifiers());
    QTableView::keyPressEvent(e);
}

DataGrid::DataGrid(QWidget* parent) : QFrame(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    mCaption = new QLabel(this);
    mCaption->setAlignment(Qt::AlignCenter);
    mCaption->setFrameShape(QFrame::StyledPanel);
    mCaption->setAutoFillBackground(true);
    mCaption->setBackgroundRole(QPalette::Button);
    mCaption->hide();
    layout->addWidget(mCaption);
    mView = new GridView(this);
    mModel = new RecordsetModel(this);
    mView->setModel(mModel);
    mView->setSelectionBehavior(QAbstractItemView::SelectRows);
    mView->setSelectionMode(QAbstractItemView::SingleSelection);
    mView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mView->setWordWrap(false);
    mView->setAlternatingRowColors(false);
    // Fixed row height and no sizing to contents: a million rows cost nothing up front.
    mView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // A row is a line of text and a little air above and below it.
    constexpr int kRowPadding = 4;
    mView->verticalHeader()->setDefaultSectionSize(mView->fontMetrics().height() + kRowPadding);
    mView->verticalHeader()->setMinimumSectionSize(1);
    mView->verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    mView->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    // A new column is 1514.83 twips wide, as the grid control draws it.
    mView->horizontalHeader()->setDefaultSectionSize(app::twips(1515));
    mView->horizontalHeader()->setHighlightSections(false);
    layout->addWidget(mView);
    // Tab and Shift+Tab leave the grid for the window's next control; arrows move within it.
    mView->setTabKeyNavigation(false);
    setFocusProxy(mView);
    connect(mView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current, const QModelIndex&) {
                const auto& rs = mModel->recordset();
                if (mSyncing || !rs || !current.isValid()) return;
                mSyncing = true;
                rs->setPosition(current.row());
                mSyncing = false;
            });
}

DataGrid::~DataGrid() {
    unhook();
}

void DataGrid::setCaption(const QString& caption) {
    mCaption->setText(caption);
    mCaption->setVisible(!caption.isEmpty());
}

void DataGrid::unhook() {
    if (mListener && mModel->recordset()) mModel->recordset()->removeListener(mListener);
    mListener = 0;
}

void DataGrid::bind(data::RecordsetPtr rs, bool autoColumns) {
    unhook();
    mModel->setRecordset(rs, autoColumns);
    if (!rs) return;
    mListener = rs->addListener([this](long pos) {
        if (mSyncing) return;
        mSyncing = true;
        if (pos >= 0 && pos < mModel->rowCount()) {
            mView->setCurrentIndex(mModel->index(static_cast<int>(pos), std::max(0, mView->currentIndex().column())));
        } else {
            mView->selectionModel()->clearCurrentIndex();
            mView->clearSelection();
        }
        mSyncing = false;
    });
    // The recordset stands on its first record: so does the grid.
    if (!rs->bof() && !rs->eof() && mModel->columnCount() > 0) {
        mSyncing = true;
        mView->setCurrentIndex(mModel->index(static_cast<int>(rs->position()), 0));
        mSyncing = false;
    }
}

WidestRows widestRows(const data::Recordset& rs) {
    constexpr size_t kCandidates = 16;
    WidestRows out(rs.fieldCount());
    std::vector<std::pair<size_t, size_t>> widest;  // (rough width, row), a min-heap
    for (size_t field = 0; field < rs.fieldCount(); ++field) {
        widest.clear();
        for (size_t r = 0; r < rs.recordCount(); ++r) {
            const size_t w = roughWidth(rs.value(r, field));
            if (widest.size() < kCandidates) {
                widest.emplace_back(w, r);
                std::push_heap(widest.begin(), widest.end(), std::greater<>());
            } else if (w > widest.front().first) {
                std::pop_heap(widest.begin(), widest.end(), std::greater<>());
                widest.back() = {w, r};
                std::push_heap(widest.begin(), widest.end(), std::greater<>());
            }
        }
        for (const auto& [rough, row] : widest) out[field].push_back(row);
    }
    return out;
}

FetchedRows withWidestRows(data::RecordsetPtr rows) {
    WidestRows widest = rows ? widestRows(*rows) : WidestRows{};
    return {std::move(rows), std::move(widest)};
}

void DataGrid::fitColumns(const WidestRows& widest) {
    QHeaderView* header = mView->horizontalHeader();
    const QFontMetrics fm(mView->font());
    // The delegate's margins on either side of the text, and a character of air.
    const int padding =
        2 * (mView->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, mView) + 1) + fm.averageCharWidth();
    for (int c = 0; c < mModel->columnCount(); ++c) {
        int width = std::max(header->defaultSectionSize(), header->sectionSizeHint(c));
        const int field = mModel->columns()[static_cast<size_t>(c)].field;
        if (field >= 0 && static_cast<size_t>(field) < widest.size())
            for (size_t row : widest[static_cast<size_t>(field)])
                width = std::max(width, fm.horizontalAdvance(mModel->text(static_cast<int>(row), c)) + padding);
        header->resizeSection(c, width);
    }
}

void DataGrid::enableCopy() {
    mView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto* copy = new QAction(QStringLiteral("复制(&C)"), mView);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, &DataGrid::copySelection);
    auto* all = new QAction(QStringLiteral("全选(&A)"), mView);
    all->setShortcut(QKeySequence::SelectAll);
    all->setShortcutContext(Qt::WidgetShortcut);
    connect(all, &QAction::triggered, mView, &QTableView::selectAll);
    mView->addAction(copy);
    mView->addAction(all);
    mView->setContextMenuPolicy(Qt::ActionsContextMenu);
}

QString DataGrid::selectedText() const {
    QList<int> rows;
    for (const QModelIndex& i : mView->selectionModel()->selectedRows()) rows << i.row();
    std::sort(rows.begin(), rows.end());
    const auto cell = [](QString t) {
        for (QChar& c : t)
            if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r')) c = QLatin1Char(' ');
        return t;
    };
    QStringList lines, fields;
    for (int c = 0; c < mModel->columnCount(); ++c)
        fields << cell(mModel->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString());
    lines << fields.join(QLatin1Char('\t'));
    const auto& rs = mModel->recordset();
    for (int r : rows) {
        fields.clear();
        for (int c = 0; c < mModel->columnCount(); ++c) {
            QString text = mModel->text(r, c);
            const int field = mModel->columns()[static_cast<size_t>(c)].field;
            if (rs && field >= 0 && rs->value(static_cast<size_t>(r), static_cast<size_t>(field)).isNumber())
                text = text.remove(QLatin1Char(',')).trimmed();  // a number a spreadsheet reads as one
            fields << cell(text);
        }
        lines << fields.join(QLatin1Char('\t'));
    }
    return lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

void DataGrid::copySelection() const {
    if (mView->selectionModel()->selectedRows().isEmpty()) return;
    QGuiApplication::clipboard()->setText(selectedText());
}

std::optional<QString> DataGrid::currentText(int column) const {
    const QModelIndex cur = mView->currentIndex();
    if (!cur.isValid() || column < 0 || column >= mModel->columnCount()) return std::nullopt;
    return mModel->text(cur.row(), column);
}

}  // namespace faq::ui
