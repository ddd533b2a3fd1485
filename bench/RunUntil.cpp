#include "RunUntil.h"

#include <QEventLoop>
#include <QTimer>

bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    QEventLoop loop;
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    poll.start(2);
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}
