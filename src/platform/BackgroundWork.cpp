#include "platform/BackgroundWork.h"

#include <QEventLoop>
#include <QThread>

#include <memory>

void runWhileEventsTurn(const std::function<void()>& work) {
    const std::unique_ptr<QThread> thread(QThread::create(work));
    QEventLoop loop;
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    thread->start();
    // The loop also ends when the program quits; the work is still awaited,
    // as the caller's data is in its hands.
    loop.exec();
    thread->wait();
}
