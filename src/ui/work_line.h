// The work a window runs on the worker, one piece at a time, and the line that shows it:
// what runs and for how long (after half a second), 取消 beside it, the window's controls
// disabled meanwhile and the focus given back after; what the work ended with stays on the
// line until the next begins.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <vector>

#include "background.h"
#include "export/workbook.h"

class QLabel;
class QPushButton;
class QShortcut;
class QWidget;

namespace faq::ui {

class WorkLine : public QObject {
    Q_OBJECT
public:
    // line and cancel belong to window; criteria and buttons: what work disables; Esc in
    // window presses cancel while work runs.
    WorkLine(QWidget* window, QLabel* line, QPushButton* cancel, QWidget* criteria, std::vector<QWidget*> buttons);

    // With criteriaStay the criteria stay enabled (work they may change again, which then
    // replaces it).
    void begin(const QString& what, bool criteriaStay = false);
    // However the work ends, its outcome is heard at most once, and not after this.
    void end();
    bool busy() const { return !mWork.isEmpty(); }
    // The work running left the criteria enabled.
    bool criteriaStay() const { return busy() && mCriteriaStay; }
    unsigned serial() const { return mSerial; }
    // 取消 was pressed: said at once.
    void cancelling();
    // Whether the export running is zipping its workbook, which cannot be stopped (then said).
    bool finishing() const { return progress && progress->closing; }
    bool sayFinishing();
    // What the user just asked for needs no box to click away: the line says it until the
    // next work begins.
    void say(const QString& what, const QString& tip = QString());
    // lead and path as the line can show them: the name whole, the folder's middle elided.
    QString fittedPath(const QString& lead, const QString& path) const;

    JobTicketPtr job;                                 // the running work's claim on its outcome
    std::shared_ptr<output::WriteProgress> progress;  // an output running, how far it came

signals:
    void escape();

private:
    void tick();
    QWidget* mWindow;
    QLabel* mLine;
    QPushButton* mCancel;
    QWidget* mCriteria;
    std::vector<QWidget*> mButtons, mDisabled;
    bool mCriteriaStay = false;
    QString mWork;  // what runs; empty when idle
    unsigned mSerial = 0;
    bool mCancelling = false;
    QElapsedTimer mClock;
    QTimer mTimer;
    QShortcut* mEscape;
    QPointer<QWidget> mFocusBefore;
};

}  // namespace faq::ui
