#pragma once

#include <QCoreApplication>
#include <QTimer>

#include <QCoroTask>

// The main() of a benchmark written as one coroutine: runs it on the event
// loop and exits with the status it returns.
template<typename Run>
int runCoroutineMain(int argc, char** argv, Run run)
{
    QCoreApplication app(argc, argv);
    QTimer::singleShot(0, &app, [run] {
        [](Run body) -> QCoro::Task<> { QCoreApplication::exit(co_await body()); }(run);
    });
    return app.exec();
}
