// Work that may take long (a server over the network) run on a thread of its own while a progress dialog keeps the
// window painting and answering; the window's own state is only touched by the GUI thread.
#pragma once

#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

namespace ui {

// Runs `work` on another thread and returns its result once it is done; with `cancellable`, nullopt as soon as the
// user presses Cancel, the work then finishing on its own and its result dropped (so it must own what it uses).
// Work that is not cancellable ends by its own timeouts.
template <class T>
std::optional<T> offThread(QWidget* parent, const QString& label, bool cancellable, std::function<T()> work)
{
    struct State {
        std::optional<T> result;
        std::atomic<bool> done{false};
    };
    auto state = std::make_shared<State>();
    std::thread([state, work = std::move(work)] {
        try {
            state->result = work();
        } catch (...) {
        }
        state->done = true;
    }).detach();

    QProgressDialog progress(label, cancellable ? QStringLiteral("Cancel") : QString(), 0, 0, parent);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(400);
    if (!cancellable)
        progress.setCancelButton(nullptr);
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (state->done || (cancellable && progress.wasCanceled()))
            loop.quit();
    });
    poll.start(15);
    if (!state->done)
        loop.exec();
    if (!state->done)
        return std::nullopt;
    return std::move(state->result);
}

} // namespace ui
