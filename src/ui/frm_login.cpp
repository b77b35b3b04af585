#include "frm_login.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>

#include "app/mdl_main.h"
#include "app/program.h"
#include "app/twips.h"
#include "background.h"
#include "data/program_error.h"
#include "data_combo.h"
#include "data_grid.h"
#include "form_select.h"
#include "guide_window.h"
#include "list_combo.h"
#include "query/period.h"
#include "query/summary_view.h"

namespace faq::ui {

using app::placed;
using app::twips;
using app::twipsRect;

namespace {

// A cancelled statement still running after this is abandoned.
constexpr int kAbandonMs = 3000;
// The year boxes list the last hundred years and this one.
constexpr int kYearsBack = 100;

QComboBox* periodBox(QWidget* parent, const char* name, QRect geometry) {
    auto* box = placed(new ListCombo(parent), name, geometry);
    // Narrow boxes (49 pixels): a 13-pixel arrow and a 2-pixel margin leave a four-digit year
    // readable where the style's own arrow would cover a digit.
    box->setStyleSheet(QStringLiteral("QComboBox { padding: 0px 0px 0px 2px; } QComboBox::drop-down { width: 13px; }"));
    return box;
}

}  // namespace

frmLogin::frmLogin(app::Session& session, QWidget* parent)
    : QWidget(parent, app::kFixedWindowFlags), mSession(session) {
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QString::fromUtf8(app::kAppTitle));

    Frame1 = placed(new QGroupBox(QStringLiteral("查询条件"), this), "Frame1", twipsRect(360, 240, 8175, 1815));
    Label1 = placed(new QLabel(QStringLiteral("固定资产"), Frame1), "Label1", twipsRect(240, 360, 1215, 255));
    dcob = placed(new DataCombo(Frame1), "dcob", twipsRect(1320, 240, 3135, 330));
    chkLike =
        placed(new QCheckBox(QStringLiteral("固定资产模糊查询"), Frame1), "chkLike", twipsRect(4680, 240, 1815, 255));
    Label2 = placed(new QLabel(QStringLiteral("部门名称"), Frame1), "Label2", twipsRect(240, 720, 1335, 255));
    dcbmDept = placed(new DataCombo(Frame1), "dcbmDept", twipsRect(1320, 720, 3135, 330));
    Label3 = placed(new QLabel(QStringLiteral("期间"), Frame1), "Label3", twipsRect(240, 1200, 1335, 255));
    byyyy = periodBox(Frame1, "byyyy", twipsRect(1320, 1200, 735, 300));
    Label5 = placed(new QLabel(QStringLiteral("年"), Frame1), "Label5", twipsRect(2040, 1200, 255, 255));
    bmm = periodBox(Frame1, "bmm", twipsRect(2280, 1200, 735, 300));
    Label6 = placed(new QLabel(QStringLiteral("月"), Frame1), "Label6", twipsRect(3000, 1200, 375, 375));
    Label9 = placed(new QLabel(QStringLiteral("～"), Frame1), "Label9", twipsRect(3257, 1200, 375, 375));
    eyyyy = periodBox(Frame1, "eyyyy", twipsRect(3600, 1200, 735, 300));
    Label7 = placed(new QLabel(QStringLiteral("年"), Frame1), "Label7", twipsRect(4320, 1200, 375, 375));
    emm = periodBox(Frame1, "emm", twipsRect(4560, 1200, 735, 300));
    Label8 = placed(new QLabel(QStringLiteral("月"), Frame1), "Label8", twipsRect(5280, 1200, 375, 375));
    for (QLabel* l : {Label5, Label6, Label9, Label7, Label8}) l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The level of the summary, beside the department; its 小计 above it, beside 模糊查询.
    Label4 = placed(new QLabel(QStringLiteral("汇总方式"), Frame1), "Label4", twipsRect(4680, 720, 855, 255));
    cboGroup = placed(new ListCombo(Frame1), "cboGroup", twipsRect(5535, 720, 2175, 330));
    cboGroup->setEditable(false);
    for (const query::GroupingName& g : query::groupings())
        cboGroup->addItem(QString::fromUtf8(g.caption), static_cast<int>(g.grouping));
    chkSubtotals =
        placed(new QCheckBox(QStringLiteral("部门小计"), Frame1), "chkSubtotals", twipsRect(6600, 240, 1215, 255));
    Label4->setBuddy(cboGroup);
    Label1->setBuddy(dcob);
    Label2->setBuddy(dcbmDept);
    Label3->setBuddy(byyyy);

    // The query button is the window's child, drawn over the lower right of the frame.
    Command1 = placed(new QPushButton(QStringLiteral("查询"), this), "Command1", twipsRect(6480, 1440, 1335, 375));
    Command1->raise();
    dgContent = placed(new DataGrid(this), "dgContent", twipsRect(360, 2280, 10575, 3255));
    dgContent->setFont(app::songTi9());
    dgContent->view()->setFont(app::songTi9());
    dgContent->view()->horizontalHeader()->setFont(app::songTi9());
    dgContent->model()->setColumns({{QString(), -1, {}}, {QString(), -1, {}}});  // unbound: two empty columns
    dgContent->enableCopy();
    // 明细: the cards behind a row, first in the grid's menu.
    auto* details = new QAction(QStringLiteral("明细(&D)"), dgContent->view());
    dgContent->view()->insertAction(dgContent->view()->actions().value(0), details);
    connect(details, &QAction::triggered, this, [this] { showCards(dgContent->view()->currentIndex().row()); });
    connect(dgContent->view(), &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& i) { showCards(i.row()); });
    connect(dgContent->view(), &GridView::keyDown, this, [this](int key, Qt::KeyboardModifiers) {
        if (key == Qt::Key_Return || key == Qt::Key_Enter) showCards(dgContent->view()->currentIndex().row());
    });
    btnCsv = placed(new QPushButton(QStringLiteral("输出EXCEL"), this), "btnCsv", twipsRect(9600, 5640, 1215, 375));
    // Beside the export button, while work runs: what runs, for how long, and "取消".
    btnPrint = placed(new QPushButton(QStringLiteral("打印…"), this), "btnPrint", twipsRect(6960, 5640, 1215, 375));
    btnPdf = placed(new QPushButton(QStringLiteral("输出PDF…"), this), "btnPdf", twipsRect(8280, 5640, 1215, 375));
    btnChart = placed(new QPushButton(QStringLiteral("图表…"), this), "btnChart", twipsRect(5640, 5640, 975, 375));
    lblBusy = placed(new QLabel(this), "lblBusy", twipsRect(360, 5640, 5160, 375));
    btnCancel = placed(new QPushButton(QStringLiteral("取消"), this), "btnCancel", twipsRect(5640, 5640, 1215, 375));
    btnCancel->setCursor(Qt::ArrowCursor);
    lblBusy->hide();
    btnCancel->hide();
    for (QPushButton* b : {Command1, btnCsv, btnPrint, btnPdf, btnChart, btnCancel}) app::pressOnEnter(b);
    mLine = new WorkLine(this, lblBusy, btnCancel, Frame1, {Command1, btnCsv, btnPrint, btnPdf, btnChart});
    // On a screen too small for it (a laptop at 150 %), the window is narrower or lower: the
    // criteria stay as they are, the grid gives up the room and the buttons below keep to
    // the right edge.
    const QSize designed = app::twipsSize(11055, 6105);
    const QSize least(Frame1->geometry().right() + twips(120), designed.height() - dgContent->height() + 100);
    const QSize size = app::fittedSize(designed, least);
    setFixedSize(size);
    const QSize less = designed - size;
    dgContent->resize(dgContent->size() - less);
    // The buttons below the grid, right to left from the right edge with the designed gaps,
    // each as wide as designed or as its caption needs in this system's font; the status
    // line takes what is left.
    int right = btnCsv->geometry().right() + 1 - less.width();
    for (QPushButton* b : {btnCsv, btnPdf, btnPrint, btnChart, btnCancel}) {
        const int w = std::max(b->width(), b->fontMetrics().horizontalAdvance(b->text()) + 12);
        b->setGeometry(right - w, b->y() - less.height(), w, b->height());
        right -= w + twips(105);
    }
    lblBusy->setGeometry(lblBusy->x(), lblBusy->y() - less.height(),
                         std::max(0, btnCancel->x() - twips(120) - lblBusy->x()), lblBusy->height());

    // The designed order, the level and its 小计 after the department, the buttons beyond
    // the design beside 输出EXCEL.
    QWidget* order[] = {byyyy,    Command1,          bmm,          eyyyy,  emm,      dcob,
                        dcbmDept, cboGroup,          chkSubtotals, btnCsv, btnPrint, btnPdf,
                        btnChart, dgContent->view(), chkLike};
    for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

    connect(Command1, &QPushButton::clicked, this, &frmLogin::Command1_Click);
    connect(btnCsv, &QPushButton::clicked, this, &frmLogin::btnCsv_Click);
    connect(btnCancel, &QPushButton::clicked, this, &frmLogin::btnCancel_Click);
    connect(btnPrint, &QPushButton::clicked, this, &frmLogin::btnPrint_Click);
    connect(btnPdf, &QPushButton::clicked, this, &frmLogin::btnPdf_Click);
    connect(btnChart, &QPushButton::clicked, this, &frmLogin::btnChart_Click);
    connect(cboGroup, &QComboBox::activated, this, &frmLogin::cboGroup_Click);
    connect(chkSubtotals, &QCheckBox::clicked, this, &frmLogin::cboGroup_Click);
    enableSubtotals();
    auto* print = new QShortcut(QKeySequence::Print, this);
    connect(print, &QShortcut::activated, this, &frmLogin::btnPrint_Click);
    // F2, with any modifiers, from whichever control of this window has the focus (the key
    // preview of the form); Esc stops running work.
    auto* f2 = new QShortcut(this);
    QList<QKeySequence> keys;
    for (const Qt::KeyboardModifiers mods :
         {Qt::KeyboardModifiers(Qt::NoModifier), Qt::KeyboardModifiers(Qt::ShiftModifier),
          Qt::KeyboardModifiers(Qt::ControlModifier), Qt::KeyboardModifiers(Qt::AltModifier),
          Qt::ShiftModifier | Qt::ControlModifier, Qt::ShiftModifier | Qt::AltModifier,
          Qt::ControlModifier | Qt::AltModifier, Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier})
        keys << QKeySequence(QKeyCombination(mods, Qt::Key_F2));
    f2->setKeys(keys);
    connect(f2, &QShortcut::activated, this,
            [this] { Form_KeyDown(Qt::Key_F2, QGuiApplication::keyboardModifiers()); });
    connect(mLine, &WorkLine::escape, this, [this] { Form_KeyDown(Qt::Key_Escape, Qt::NoModifier); });

    // The picker, a tool window of this one, shares its keys: F1 there is its own section.
    addGuideKey(this, [this] {
        return mPicker && mPicker->isActiveWindow() ? QStringLiteral("picker") : QStringLiteral("query");
    });
    app::placeCentred(this);
}

frmLogin::~frmLogin() {
    if (mPicker) delete mPicker.data();
}

bool frmLogin::sayFailure(const std::optional<data::DbError>& dbError, bool hasValue, const std::string& otherError) {
    if (dbError && dbError->failure() == data::Failure::Cancelled) {
        sayDone(QString::fromStdString(mSession.failureMessage(*dbError)));
        return true;
    }
    if (hasValue) return false;
    app::showMessage(
        this, dbError ? QString::fromStdString(mSession.failureMessage(*dbError)) : QString::fromStdString(otherError),
        QMessageBox::Warning);
    return true;
}

void frmLogin::btnCancel_Click() {
    if (!busy()) return;
    if (mLine->sayFinishing()) return;
    if (mLine->criteriaStay() && mStopRegroup) *mStopRegroup = true;
    mSession.cancel();
    if (mLoading) {
        // A connect cannot be stopped: it is abandoned and finishes unseen.
        mLoading = false;
        endWork();
        emit loadFailed(QString());
        return;
    }
    mLine->cancelling();
    // Writing a file and adding up a level are the program's own work, no statement at a
    // server: they stop between rows, and nothing is given up.
    if (mLine->progress || mLine->criteriaStay()) return;
    // A statement that has not ended a while after its cancel (a server that stopped
    // answering) is given up, so that the window never waits for it.
    QTimer::singleShot(kAbandonMs, this, [this, work = mLine->serial()] {
        if (!busy() || mLine->serial() != work) return;
        mSession.abandon();
        endWork();
        app::showMessage(this, QStringLiteral("服务器没有回应取消，已放弃这条语句；下一次查询会重新连接数据库"),
                         QMessageBox::Information);
    });
}

void frmLogin::Form_Load() {
    initCriteriaControls();
}

void frmLogin::initCriteriaControls() {
    if (!objCriteria) objCriteria = std::make_unique<query::CMvLogin>();
    const int y = mSession.today().year;
    for (int year = y - kYearsBack; year <= y; ++year) {
        byyyy->addItem(QString::number(year));
        eyyyy->addItem(QString::number(year));
    }
    byyyy->setEditText(QString::number(y));
    eyyyy->setEditText(QString::number(y));
    for (int m = 1; m <= 12; ++m) {
        bmm->addItem(QString::number(m));
        emm->addItem(QString::number(m));
    }
    bmm->setEditText(QStringLiteral("1"));
    emm->setEditText(QStringLiteral("12"));

    // The two lookup lists; the first of them opens the connection.
    struct Lists {
        data::RecordsetPtr assets, departments;
    };
    mLoading = true;
    beginWork(QStringLiteral("正在连接数据库"));
    mLine->job = runInBackground<Lists>(
        mSession, this,
        [p = std::make_shared<query::CMvLogin>(*objCriteria)](app::mdlMain& m) {
            Lists l;
            l.assets = m.fetchCobList(p.get(), "");
            l.departments = m.fetchDeptList(p.get());
            return l;
        },
        [this](Outcome<Lists>& out) {
            mLoading = false;
            endWork();
            if (!out.value) {
                emit loadFailed(out.dbError ? QString::fromStdString(mSession.failureMessage(*out.dbError))
                                            : QString::fromStdString(out.otherError));
                return;
            }
            try {
                dcob->setListSource(out.value->assets, "sAssetName");
                dcbmDept->setListSource(out.value->departments, "cDepName", "cDepCode");
            } catch (const data::ProgramError& e) {
                emit loadFailed(QStringLiteral("程序内部错误：") + QString::fromUtf8(e.what()));
                return;
            } catch (const std::bad_alloc&) {
                emit loadFailed(QString::fromUtf8(data::kOutOfMemory));
                return;
            }
            dcob->setEditText(QString());
            dcbmDept->setEditText(QString());
            byyyy->setFocus();
            emit loaded();
        });
}

void frmLogin::Command1_Click() {
    if (busy()) return;
    if (!objCriteria) objCriteria = std::make_unique<query::CMvLogin>();
    // Checked before anything is written, so a bad entry never sends a query.
    auto next = std::make_shared<query::CMvLogin>(*objCriteria);
    if (auto bad =
            query::fillDates(*next, byyyy->currentText().toStdString(), bmm->currentText().toStdString(),
                             eyyyy->currentText().toStdString(), emm->currentText().toStdString(), mSession.today())) {
        // The focus goes to the first period box that is wrong.
        QWidget* cause = nullptr;
        for (QComboBox* box : {byyyy, bmm, eyyyy, emm}) {
            const std::string text = box->currentText().toStdString();
            const bool year = box == byyyy || box == eyyyy;
            if (!cause && !(year ? query::periodYearIsValid(text) : query::periodMonthIsValid(text))) cause = box;
        }
        app::showMessage(this, QString::fromStdString(*bad), QMessageBox::Warning, cause);
        // The box it concerns, selected whole: what is typed next replaces it.
        if (auto* box = qobject_cast<QComboBox*>(cause); box && box->lineEdit()) box->lineEdit()->selectAll();
        return;
    }
    const QString deptName = dcbmDept->currentText().trimmed();
    std::string deptId;
    if (!deptName.isEmpty()) {
        auto code = dcbmDept->boundValue();
        if (!code) {
            app::showMessage(this, QStringLiteral("部门不存在"), QMessageBox::Warning, dcbmDept);
            return;
        }
        deptId = *code;
    }
    next->gsCZLike.assign(1, chkLike->isChecked() ? '1' : '0');
    next->strZcID = dcob->currentText().toStdString();
    next->strDeptID = deptId;
    next->strDeptName = deptName.toStdString();

    beginWork(QStringLiteral("正在查询"));
    mLine->job = runInBackground<ShownView>(
        mSession, this,
        [next, g = chosenGrouping(), subtotals = chosenSubtotals(), keep = mSession.shared_from_this()](
            app::mdlMain& m) { return makeView(m.fetchList(*next), g, subtotals, &keep->cancelRequested()); },
        [this, next](Outcome<ShownView>& out) {
            endWork();
            const bool cancelled = out.dbError && out.dbError->failure() == data::Failure::Cancelled;
            // A cancel leaves everything as it was; a failure keeps the statement sent.
            if (!cancelled) *objCriteria = *next;
            if (sayFailure(out)) return;
            rsResult = out.value->detailed;
            mShownCriteria = next;
            showView(out.value->view, out.value->widest);
            // What the database left out, under the result until the next work; a lone 合计:
            // row says why it is alone.
            QStringList said;
            if (rsResult->recordCount() <= 1) said << emptyResultText(*next);
            if (!rsResult->notice.empty()) said << QString::fromStdString(rsResult->notice);
            if (!said.isEmpty()) sayDone(said.join(QStringLiteral("；")));
        });
}

QString frmLogin::emptyResultText(const query::CMvLogin& c) {
    // The dates as the period boxes made them: yyyy-mm-dd, so that their texts compare.
    if (c.strBegDate > c.strEndDate)
        return QStringLiteral("没有卡片符合条件：起始期间（%1）晚于截止期间（%2）")
            .arg(QString::fromStdString(c.strBegDate), QString::fromStdString(c.strEndDate));
    return QStringLiteral("没有卡片符合条件");
}

void frmLogin::Form_KeyDown(int keyCode, Qt::KeyboardModifiers) {
    if (keyCode == Qt::Key_F2 && !busy()) showPicker();
    if (keyCode == Qt::Key_Escape && busy()) btnCancel_Click();
}

void frmLogin::closeEvent(QCloseEvent* e) {
    app::endProgram();
    e->accept();
}

bool frmLogin::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    if (app::helpFromSystemMenu(this, eventType, message)) {
        *result = 0;
        return true;
    }
    return QWidget::nativeEvent(eventType, message, result);
}

}  // namespace faq::ui
