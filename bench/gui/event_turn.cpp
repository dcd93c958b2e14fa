// The cost of the event loop turn a scan takes per file, with nothing pending: the paced turn
// (the clock read included, as the window reads it once per file) next to a full
// QCoreApplication::processEvents() every time, the reference. Prints the event dispatcher,
// nanoseconds per call (best of several runs) and the ratio paced/full.
// Usage: QT_QPA_PLATFORM=offscreen [QT_NO_GLIB=1] bench_event_turn [TURNS]
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "qt/PacedEventTurn.h"

namespace {

constexpr int kRuns = 5;

// Best nanoseconds per call of `step` over `turns` calls, of kRuns runs.
template <typename Step>
double BestNsPerCall(long turns, Step step) {
    double best = 1e300;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer clock;
        clock.start();
        for (long i = 0; i < turns; ++i) step();
        best = std::min(best, double(clock.nsecsElapsed()) / double(turns));
    }
    return best;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const long turns = argc > 1 ? std::atol(argv[1]) : 2'000'000;
    if (turns <= 0) {
        std::fprintf(stderr, "usage: %s [TURNS]\n", argv[0]);
        return 2;
    }
    QWidget window;  // a shown window, as during a scan
    window.resize(320, 200);
    window.show();
    for (int i = 0; i < 100; ++i) QCoreApplication::processEvents();

    snapsift::PacedEventTurn turn;
    QElapsedTimer scanClock;
    scanClock.start();
    const double paced = BestNsPerCall(turns, [&] { turn.Turn(scanClock.nsecsElapsed()); });
    const double posted = BestNsPerCall(turns, [] { QCoreApplication::sendPostedEvents(); });
    const double clockRead = BestNsPerCall(turns, [&] { (void)scanClock.nsecsElapsed(); });
    const double full = BestNsPerCall(turns, [] { QCoreApplication::processEvents(); });

    std::printf("event dispatcher: %s\n",
                QAbstractEventDispatcher::instance()->metaObject()->className());
    std::printf("paced turn:         %7.1f ns\n", paced);
    std::printf("  posted events:    %7.1f ns\n", posted);
    std::printf("  clock read:       %7.1f ns\n", clockRead);
    std::printf("full turn:          %7.1f ns\n", full);
    std::printf("ratio paced/full:   %7.3f\n", paced / full);
    return 0;
}
