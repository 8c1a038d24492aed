// A call to a server that does not answer, made on the window thread as a command
// makes it: the windows keep painting and take Qt's own events, the program's queued
// work waits, a modal box shows the wait, and its Cancel ends the call.
#include "Controls.h"

#include "quillet/doc/CallWaiter.h"
#include "quillet/gui/QtUiServices.h"
#include "quillet/text/StringTable.h"

#include "platform/opc/client/RpcClient.h"
#include "platform/opc/wire/Protocol.h"
#include "qtdispatch/QtDispatcher.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

namespace {

// Counts the paint events of a widget.
class PaintCounter : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
    int paints = 0;
};

TEST(CallWaitWindow, TheWindowPaintsWhileACallWaitsAndTheBoxCancelsIt)
{
    QMainWindow main;
    auto* label = new QLabel("values", &main);
    main.setCentralWidget(label);
    main.show();
    QApplication::processEvents();
    PaintCounter counter;
    label->installEventFilter(&counter);

    quillet::StringTable texts;
    qtdispatch::QtDispatcher dispatcher;
    quillet::gui::QtUiServices ui(texts, [&main]() -> QWidget* { return &main; });
    opc::ClientOptions options;
    options.callTimeout = std::chrono::milliseconds(60000);
    options.waiter = std::make_shared<CCallWaiter>(dispatcher, ui, texts, "Tessaro.Fenwold.1", options.callTimeout);
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    auto client = std::make_unique<opc::RpcClient>(fds[0], opc::postTo(dispatcher), options);

    bool queuedRan = false;
    dispatcher.post([&] { queuedRan = true; });  // a callback that came before
    bool queuedRanInside = true;
    QString shown;
    bool boxWasModal = false;
    int paintsInside = 0;
    // While the call waits: a repaint, then the box, then its Cancel (bounded by the test's time).
    QTimer::singleShot(100, [&] { label->setText("repainted"); });
    std::function<void()> cancelWhenShown = [&] {
        auto* box = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
        if (!box) return QTimer::singleShot(20, cancelWhenShown);
        queuedRanInside = queuedRan;
        shown = box->labelText();
        boxWasModal = box->windowModality() == Qt::ApplicationModal;
        paintsInside = counter.paints;
        QTest::mouseClick(box->findChild<QPushButton*>(), Qt::LeftButton);
    };
    QTimer::singleShot(0, cancelWhenShown);
    opc::WireWriter args;
    std::vector<BYTE> reply;
    EXPECT_EQ(client->call(opc::Method::GetStatus, 1, args, reply), RPC_E_CALL_CANCELED);

    EXPECT_FALSE(queuedRanInside);
    EXPECT_EQ(shown, "Waiting for the server Tessaro.Fenwold.1 to answer...");
    EXPECT_TRUE(boxWasModal);
    EXPECT_GT(paintsInside, 0);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(client->connected());
    // Released, the loop runs what waited.
    for (int i = 0; i < 100 && !queuedRan; ++i) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_TRUE(queuedRan);
    client.reset();
    ::close(fds[1]);
}

} // namespace
