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

// Runs work on session's worker; done runs on the UI thread with its outcome, unless
// receiver is gone by then. False (and nothing runs) while the session is busy.
// work reaches the database through the module it is handed, over the session the job
// keeps alive; it must own (or share) everything else it touches, since the window that
// started it may be gone before it ends.
template <typename R>
bool runInBackground(app::Session& session, QObject* receiver, std::function<R(app::mdlMain&)> work,
                     std::function<void(Outcome<R>&)> done) {
    // qApp lives as long as the program; receiver is looked at on the UI thread only. A job
    // abandoned meanwhile is not heard.
    auto deliver = [alive = QPointer<QObject>(receiver), done = std::move(done), session = session.shared_from_this(),
                    generation = session.generation()](std::shared_ptr<Outcome<R>> out) {
        QMetaObject::invokeMethod(
            qApp,
            [alive, done, out, session, generation] {
                if (alive && session->generation() == generation) done(*out);
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
    return started;
}

}  // namespace faq::ui
