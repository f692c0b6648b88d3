#include "app/forms/PaintThrottle.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

// Counts the paints of a label and remembers the text each one drew.
class PaintRecorder : public QObject {
public:
    explicit PaintRecorder(QLabel* label) : label_(label) { label->installEventFilter(this); }
    int paints = 0;
    QString lastPainted;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == label_ && event->type() == QEvent::Paint) {
            ++paints;
            lastPainted = label_->text();
        }
        return false;
    }

private:
    QLabel* label_;
};

struct ThrottledWindow {
    ThrottledWindow() {
        window.resize(200, 60);
        label = new QLabel("start", &window);
        label->resize(180, 30);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        new forms::PaintThrottle(&window, kIntervalMs);
        QTest::qWait(2 * kIntervalMs);
    }
    static constexpr int kIntervalMs = 40;
    QWidget window;
    QLabel* label = nullptr;
};

} // namespace

TEST(PaintThrottle, ABurstOfChangesPaintsAtTheIntervalAndEndsOnTheLastChange) {
    ThrottledWindow t;
    PaintRecorder recorder(t.label);
    QElapsedTimer clock;
    clock.start();
    int changes = 0;
    // A worker changing the window between event-loop passes.
    while (clock.elapsed() < 300) {
        t.label->setText(QString::number(++changes));
        QCoreApplication::processEvents();
    }
    QTest::qWait(3 * ThrottledWindow::kIntervalMs);
    const qint64 elapsed = clock.elapsed();

    EXPECT_GT(changes, 100);
    EXPECT_GE(recorder.paints, 2);
    EXPECT_LE(recorder.paints, elapsed / ThrottledWindow::kIntervalMs + 2);
    EXPECT_EQ(recorder.lastPainted, QString::number(changes)); // nothing is lost
}

TEST(PaintThrottle, AChangeAfterAQuietSpellPaintsAtOnce) {
    ThrottledWindow t;
    PaintRecorder recorder(t.label);
    t.label->setText("typed");
    QCoreApplication::processEvents();
    EXPECT_EQ(recorder.paints, 1);
    EXPECT_EQ(recorder.lastPainted, "typed");
}
