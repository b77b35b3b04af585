// Work on a session's worker thread whose outcome comes back to the UI thread as a queued
// call. The result is handed over whole; nothing is shared while it is being filled.
#pragma once

#include <QCoreApplication>
#include <QPointer>
#include <exception>
#include <functional>
#include <new>
#include <optional>
#include <string>

#include "app/mdl_main.h"
#include "app/session.h"
#include "data/db_error.h"
#include "data/program_error.h"

namespace faq::ui {

template <typename R>
struct Outcome {
    std::optional<R> value;
    std::optional<data::DbError> dbError;
    std::string otherError;  // anything else that went wrong: the message to show
};

// A window's claim on the outcome of one job it started. The window gives it up when it
// stops waiting for that job (a cancelled connect, an abandoned statement, the work ended
// some other way): an outcome that arrives after that is never heard. UI thread only.
class JobTicket {
public:
    bool live() const { return mLive; }
    void giveUp() { mLive = false; }

private:
    bool mLive = true;
};
using JobTicketPtr = std::shared_ptr<JobTicket>;

// Runs work on session's worker; done runs on the UI thread with its outcome, unless by
// then receiver is gone, the ticket returned has been given up or the job was abandoned.
// work reaches the database through the module it is handed, over the session the job
// keeps alive; it must own (or share) everything else it touches, since the window that
// started it may be gone before it ends. When the session is busy nothing runs, and done
// hears so.
template <typename R>
JobTicketPtr runInBackground(app::Session& session, QObject* receiver, std::function<R(app::mdlMain&)> work,
                             std::function<void(Outcome<R>&)> done) {
    auto ticket = std::make_shared<JobTicket>();
    // qApp lives as long as the program; receiver and ticket are looked at on the UI thread
    // only.
    auto deliver = [alive = QPointer<QObject>(receiver), done = std::move(done), session = session.shared_from_this(),
                    generation = session.generation(), ticket](std::shared_ptr<Outcome<R>> out) {
        QMetaObject::invokeMethod(
            qApp,
            [alive, done, out, session, generation, ticket] {
                if (!alive || !ticket->live() || session->generation() != generation) return;
                ticket->giveUp();  // heard once
                done(*out);
            },
            Qt::QueuedConnection);
    };
    const bool started = session.run(
        [keep = session.shared_from_this(), builder = session.sharedBuilder(), work = std::move(work), deliver] {
            auto out = std::make_shared<Outcome<R>>();
            try {
                app::mdlMain module(*keep, builder);
                out->value = work(module);
            } catch (const data::DbError& e) {
                out->dbError = e;
            } catch (const std::bad_alloc&) {
                out->otherError = data::kOutOfMemory;  // the window keeps its previous result
            } catch (const data::ProgramError& e) {
                out->otherError = std::string("程序内部错误：") + e.what();
            } catch (const std::exception& e) {
                out->otherError = std::string("查询失败：") + e.what();
            }
            deliver(out);
        });
    if (!started) {
        // Nothing runs: done hears so, as from a job, and the window does not wait for ever.
        auto out = std::make_shared<Outcome<R>>();
        out->otherError = "系统资源不足，无法在后台执行（线程无法启动）";
        deliver(out);
    }
    return ticket;
}

}  // namespace faq::ui
