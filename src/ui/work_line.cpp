#include "work_line.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QShortcut>

namespace faq::ui {

namespace {

// Work that ends within this time shows nothing; after it, the line counts seconds.
constexpr int kQuietMs = 500;
constexpr int kTickMs = 1000;

}  // namespace

WorkLine::WorkLine(QWidget* window, QLabel* line, QPushButton* cancel, QWidget* criteria, std::vector<QWidget*> buttons)
    : QObject(window),
      mWindow(window),
      mLine(line),
      mCancel(cancel),
      mCriteria(criteria),
      mButtons(std::move(buttons)) {
    connect(&mTimer, &QTimer::timeout, this, &WorkLine::tick);
    mEscape = new QShortcut(QKeySequence(Qt::Key_Escape), window);
    mEscape->setEnabled(false);
    connect(mEscape, &QShortcut::activated, this, &WorkLine::escape);
}

void WorkLine::begin(const QString& what, bool criteriaStay) {
    mWork = what;
    ++mSerial;
    mCancelling = false;
    mLine->hide();  // what the last work left said
    mLine->setToolTip(QString());
    // Disabling the criteria takes the focus from them; it comes back when the work ends.
    mFocusBefore = mWindow->focusWidget();
    mClock.start();
    mCriteriaStay = criteriaStay;
    mDisabled = mButtons;
    if (!criteriaStay) mDisabled.push_back(mCriteria);
    for (QWidget* w : mDisabled) w->setEnabled(false);
    mWindow->setCursor(Qt::WaitCursor);
    mEscape->setEnabled(true);
    // Shown only when the work takes a while, so that quick queries do not flicker.
    mTimer.start(kQuietMs);
}

void WorkLine::end() {
    if (job) job->giveUp();
    job.reset();
    mWork.clear();
    progress.reset();
    mCancel->setEnabled(true);
    mTimer.stop();
    mLine->hide();
    mCancel->hide();
    for (QWidget* w : mDisabled) w->setEnabled(true);
    mDisabled.clear();
    mWindow->unsetCursor();
    mEscape->setEnabled(false);
    if (mFocusBefore && !mFocusBefore->hasFocus() && mFocusBefore->isEnabled())
        mFocusBefore->setFocus(Qt::OtherFocusReason);
    mFocusBefore = nullptr;
}

void WorkLine::cancelling() {
    mCancelling = true;
    tick();
}

void WorkLine::tick() {
    mTimer.start(kTickMs);
    if (sayFinishing()) return;
    if (mCancelling) {
        // Said at once when 取消 is pressed, and no more seconds counted after it.
        mLine->setText(QStringLiteral("正在取消…"));
        mLine->show();
        return;
    }
    const qint64 seconds = mClock.elapsed() / kTickMs;
    const QLocale zh(QLocale::Chinese, QLocale::China);
    if (progress) {
        // What is being done, from the first second: pages are measured and laid out row by
        // row before the first is written.
        const auto done = zh.toString(qulonglong(progress->done)), of = zh.toString(qulonglong(progress->of));
        QString step;
        switch (progress->stage) {
            case output::WriteProgress::Measuring:
                step = QStringLiteral("正在排版：已量 %1 / %2 行").arg(done, of);
                break;
            case output::WriteProgress::LayingOut: step = QStringLiteral("正在分页：%1 / %2 行").arg(done, of); break;
            case output::WriteProgress::Painting: step = QStringLiteral("已写 %1 / %2 页").arg(done, of); break;
            default: step = QStringLiteral("已写 %1 行").arg(zh.toString(qulonglong(progress->rows)));
        }
        mLine->setText(QStringLiteral("%1… %2 %3 秒").arg(mWork, step).arg(seconds));
    } else
        mLine->setText(QStringLiteral("%1… %2 秒").arg(mWork).arg(seconds));
    mLine->show();
    mCancel->show();
}

bool WorkLine::sayFinishing() {
    if (!finishing()) return false;
    // The rows are written and the workbook is being zipped: that cannot be stopped, and
    // "取消" says so rather than doing nothing.
    mLine->setText(QStringLiteral("正在完成工作簿，已无法取消… %1 秒").arg(mClock.elapsed() / kTickMs));
    mLine->show();
    mCancel->show();
    mCancel->setEnabled(false);
    return true;
}

void WorkLine::say(const QString& what, const QString& tip) {
    mLine->setText(what);
    mLine->setToolTip(tip);
    mLine->show();
}

QString WorkLine::fittedPath(const QString& lead, const QString& path) const {
    // The file's name whole; its folder, where the line has no room for it, without its middle.
    const QString native = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    const QString name = info.fileName(), folder = native.left(native.size() - name.size());
    const QFontMetrics fm(mLine->font());
    const int room = mLine->width() - fm.horizontalAdvance(lead + name) - 4;
    return lead + fm.elidedText(folder, Qt::ElideMiddle, std::max(room, fm.horizontalAdvance(QStringLiteral("…\\")))) +
           name;
}

}  // namespace faq::ui
