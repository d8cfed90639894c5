#include "app/feedbacksender.h"

#include "app/sessionlog.h"
#include "fixtures/rtdcfixture.h"
#include "netdialogtesting.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMessageBox>
#include <QNetworkReply>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <memory>

using namespace Tessary;
using Tessary::Testing::LoopbackServer;

namespace {

class FeedbackSenderTest : public ::testing::Test
{
protected:
    // The report without its head (which carries the time and the system).
    static QString afterHead(const QByteArray& report)
    {
        const QString text = QString::fromUtf8(report);
        const int end = text.indexOf(QStringLiteral("\n\n"));
        return end < 0 ? QString() : text.mid(end + 2);
    }

    // Waits for the message box that ends an upload and closes it. The box
    // runs its own event loop, so it is closed from a timer inside that loop.
    struct Box {
        QString title, text;
    };
    static Box awaitBox(int ms = 5000)
    {
        auto box = std::make_shared<Box>();
        auto seen = std::make_shared<bool>(false);
        auto watch = Testing::onNextModal([box, seen](QWidget* w) {
            if (auto* b = qobject_cast<QMessageBox*>(w)) {
                *box = {b->windowTitle(), b->text()};
                b->accept();
            }
            *seen = true;
        }, ms);
        (void)QTest::qWaitFor([seen] { return *seen; }, ms);
        return *box;
    }

    LoopbackServer server;
};

} // namespace

TEST_F(FeedbackSenderTest, HeadCarriesVersionTimeAndSystem)
{
    const QByteArray report = FeedbackSender::buildReport("3.3.99", "", "", "", "");
    const QStringList lines = QString::fromUtf8(report).split('\n');
    ASSERT_GE(lines.size(), 6);
    EXPECT_EQ(lines[0], "=== Tessary Feedback Report ===");
    EXPECT_EQ(lines[1], "Version: 3.3.99");
    EXPECT_TRUE(QRegularExpression("^Timestamp: \\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ$").match(lines[2]).hasMatch())
        << lines[2].toStdString();
    const QDateTime stamp = QDateTime::fromString(lines[2].mid(11), Qt::ISODate);
    EXPECT_LE(qAbs(stamp.secsTo(QDateTime::currentDateTimeUtc())), 5);
    EXPECT_EQ(lines[3], "OS: " + QSysInfo::prettyProductName());
    EXPECT_EQ(lines[4], "Arch: " + QSysInfo::currentCpuArchitecture());
    EXPECT_EQ(lines[5], "");
}

TEST_F(FeedbackSenderTest, EmptySessionAndLogSayWhatIsMissing)
{
    shutdownSessionLog();   // nothing buffered
    EXPECT_EQ(afterHead(FeedbackSender::buildReport("3.3.99", "", "", "", "")),
              "=== Session ===\n(no datasets loaded)\n\n\n=== Log ===\n(log is empty)\n");
}

TEST_F(FeedbackSenderTest, SectionsAppearOnlyWithContentAndInOrder)
{
    shutdownSessionLog();
    const QString summary = QStringLiteral("Datasets: 0\n");
    // Error and comment together, in that order; the summary is followed by two empty lines.
    EXPECT_EQ(afterHead(FeedbackSender::buildReport("3.3.99", summary, "Unexpected Error", "boom", "It broke.")),
              "=== Error ===\nTitle: Unexpected Error\nMessage: boom\n\n"
              "=== User Comment ===\nIt broke.\n\n"
              "=== Session ===\nDatasets: 0\n\n\n"
              "=== Log ===\n(log is empty)\n");
    // A title alone is an error; a comment of blanks is no comment.
    EXPECT_TRUE(afterHead(FeedbackSender::buildReport("3.3.99", summary, "File / Data Error", "", " \n\t "))
                    .startsWith("=== Error ===\nTitle: File / Data Error\nMessage: \n\n=== Session ==="));
    EXPECT_TRUE(afterHead(FeedbackSender::buildReport("3.3.99", summary, "", "", "")).startsWith("=== Session ==="));
    // Text outside ASCII arrives as UTF-8.
    EXPECT_TRUE(FeedbackSender::buildReport("3.3.99", summary, "", "", "Zellgröße µm").contains("Zellgröße µm"));
}

TEST_F(FeedbackSenderTest, LogSectionCarriesTheRecentLogLines)
{
    Fixtures::TempDir dir;
    initSessionLog(QString::fromStdString(dir.path()), QDateTime::currentDateTime());
    qInfo("opened the measurement");
    qWarning("no images in this file");
    const QString report = QString::fromUtf8(FeedbackSender::buildReport("3.3.99", "", "", "", ""));
    const QString log = recentLogText();
    shutdownSessionLog();
    ASSERT_FALSE(log.isEmpty());
    EXPECT_TRUE(report.endsWith("=== Log ===\n" + log));
    EXPECT_TRUE(log.section(QLatin1Char('\n'), 0, 0).contains("Tessary session started"));
    EXPECT_TRUE(report.contains("[WARN ] no images in this file\n"));
}

TEST_F(FeedbackSenderTest, DialogShowsEscapedErrorExplanationAndPreview)
{
    QWidget parent;
    QPlainTextEdit* comment = nullptr;
    std::unique_ptr<QDialog> dialog(
        FeedbackSender::showDialog("Bad <file>", "a & b", "PREVIEW TEXT", &comment, &parent));
    EXPECT_EQ(dialog->windowTitle(), "Send Feedback to QVN Support");
    EXPECT_EQ(dialog->size(), QSize(640, 540));
    EXPECT_EQ(dialog->parentWidget(), &parent);
    ASSERT_NE(comment, nullptr);
    EXPECT_EQ(comment->placeholderText(), "Describe what happened or what you expected...");
    EXPECT_EQ(comment->maximumHeight(), 100);

    const QList<QLabel*> labels = dialog->findChildren<QLabel*>();
    ASSERT_GE(labels.size(), 4);
    EXPECT_EQ(labels[0]->text(), "<b>Error:</b> Bad &lt;file&gt;<br>a &amp; b");
    EXPECT_EQ(labels[0]->textFormat(), Qt::RichText);
    EXPECT_TRUE(labels[1]->text().startsWith("The information below will be sent to QVN support:\n"));
    EXPECT_TRUE(labels[1]->text().contains("(no file paths or sample names)"));
    EXPECT_EQ(labels[2]->text(), "Your comment (optional):");
    EXPECT_EQ(labels[3]->text(), "Preview of data to be sent:");

    const QList<QPlainTextEdit*> edits = dialog->findChildren<QPlainTextEdit*>();
    ASSERT_EQ(edits.size(), 2);
    QPlainTextEdit* preview = edits[0] == comment ? edits[1] : edits[0];
    EXPECT_TRUE(preview->isReadOnly());
    EXPECT_EQ(preview->toPlainText(), "PREVIEW TEXT");
    EXPECT_EQ(preview->font().pointSize(), 8);

    auto* buttons = dialog->findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    ASSERT_EQ(buttons->buttons().size(), 2);
    QPushButton* send = nullptr;
    for (QAbstractButton* b : buttons->buttons())
        if (b->text() == "Send")
            send = qobject_cast<QPushButton*>(b);
    ASSERT_NE(send, nullptr);
    EXPECT_EQ(buttons->buttonRole(send), QDialogButtonBox::AcceptRole);
    EXPECT_TRUE(send->isDefault());
    EXPECT_NE(buttons->button(QDialogButtonBox::Cancel), nullptr);

    // Without an error the dialog starts with the explanation.
    std::unique_ptr<QDialog> plain(FeedbackSender::showDialog("", "", "x", &comment, &parent));
    EXPECT_TRUE(plain->findChildren<QLabel*>().first()->text().startsWith("The information below"));
}

TEST_F(FeedbackSenderTest, UploadPutsTheReportWithItsHeaders)
{
    QWidget parent;
    FeedbackSender sender;
    sender.setServerUrl(server.url());
    const QByteArray report = FeedbackSender::buildReport("3.3.99", "Datasets: 0\n", "", "", "hello");
    sender.upload(report, "3.3.99", &parent);
    auto* progress = parent.findChild<QProgressDialog*>();
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->labelText(), "Sending feedback...");
    EXPECT_EQ(progress->windowModality(), Qt::WindowModal);

    const Box box = awaitBox();
    EXPECT_EQ(box.title, "Feedback Sent");
    EXPECT_EQ(box.text, "Thank you! Your report has been sent to QVN support.");
    ASSERT_EQ(server.requests.size(), 1);
    const LoopbackServer::Request& put = server.requests[0];
    EXPECT_EQ(put.method, "PUT");
    EXPECT_EQ(put.path, "/upload/");
    EXPECT_EQ(put.headers.value("content-type"), "text/plain");
    EXPECT_EQ(put.headers.value("x-api-key").size(), 43);
    EXPECT_EQ(put.headers.value("x-api-key"), FeedbackSender::accessKey("3.3.99"));
    EXPECT_EQ(put.headers.value("x-version"), "3.3.99");
    EXPECT_EQ(put.headers.value("x-setup-id"), "Tessary");
    EXPECT_EQ(put.body, report);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(parent.findChild<QProgressDialog*>(), nullptr);
}

TEST_F(FeedbackSenderTest, ServerErrorEndsInTheWarning)
{
    QWidget parent;
    FeedbackSender sender;
    sender.setServerUrl(server.url());
    server.respond(500, "broken");
    sender.upload("report", "3.3.99", &parent);
    const Box box = awaitBox();
    EXPECT_EQ(box.title, "Feedback Failed");
    EXPECT_TRUE(box.text.startsWith("Could not send feedback.\n\n"));
    EXPECT_GT(box.text.size(), QStringLiteral("Could not send feedback.\n\n").size());
}

TEST_F(FeedbackSenderTest, CancellingTheProgressAbortsSilently)
{
    QWidget parent;
    FeedbackSender sender;
    sender.setServerUrl(server.url());
    server.holdAnswers();
    sender.upload("report", "3.3.99", &parent);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !server.requests.isEmpty(); }));
    auto* progress = parent.findChild<QProgressDialog*>();
    ASSERT_NE(progress, nullptr);
    ASSERT_TRUE(Testing::clickButton(progress, "Cancel"));
    const Box box = awaitBox(300);
    EXPECT_TRUE(box.title.isEmpty()) << box.title.toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return sender.findChildren<QNetworkReply*>().isEmpty();
    }));
}

TEST_F(FeedbackSenderTest, AnswerAfterTheWindowClosedIsStillHandled)
{
    // The window that asked may be gone (with its progress dialog) when the
    // server answers; the outcome is still shown, without a parent.
    auto parent = std::make_unique<QWidget>();
    FeedbackSender sender;
    sender.setServerUrl(server.url());
    sender.upload("report", "3.3.99", parent.get());
    parent.reset();
    const Box box = awaitBox();
    EXPECT_EQ(box.title, "Feedback Sent");
}

TEST_F(FeedbackSenderTest, WithoutServerNothingIsSentAndTheUserIsTold)
{
    QWidget parent;
    FeedbackSender sender;
    EXPECT_TRUE(FeedbackSender::configuredServerUrl().isEmpty());
    EXPECT_TRUE(sender.uploadUrl().isEmpty());
    Box box;
    auto watch = Testing::onNextModal([&box](QWidget* w) {
        box = {w->windowTitle(), static_cast<QMessageBox*>(w)->text()};
        static_cast<QMessageBox*>(w)->accept();
    });
    sender.upload("report", "3.3.99", &parent);
    EXPECT_EQ(box.title, "Feedback Failed");
    EXPECT_TRUE(box.text.contains("No feedback server is configured"));
    EXPECT_EQ(parent.findChild<QProgressDialog*>(), nullptr);
    EXPECT_TRUE(server.requests.isEmpty());
}

TEST_F(FeedbackSenderTest, SendPreviewsWithoutCommentAndUploadsWithIt)
{
    QWidget parent;
    FeedbackSender sender;
    sender.setServerUrl(server.url());
    QString preview;
    auto watch = Testing::onNextModal([&preview](QWidget* w) {
        auto* dialog = qobject_cast<QDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        const QList<QPlainTextEdit*> edits = dialog->findChildren<QPlainTextEdit*>();
        for (QPlainTextEdit* e : edits)
            if (e->isReadOnly())
                preview = e->toPlainText();
            else
                e->setPlainText("  The plot stayed empty.  ");
        Testing::clickButton(dialog, "Send");
    });
    sender.send("3.3.99", "Datasets: 0\n", "Unexpected Error", "boom", &parent);
    EXPECT_TRUE(preview.contains("=== Error ===\nTitle: Unexpected Error\nMessage: boom\n"));
    EXPECT_FALSE(preview.contains("=== User Comment ==="));
    EXPECT_EQ(awaitBox().title, "Feedback Sent");
    ASSERT_EQ(server.requests.size(), 1);
    EXPECT_TRUE(server.requests[0].body.contains("=== User Comment ===\nThe plot stayed empty.\n\n=== Session ==="));

    // Cancel sends nothing.
    watch = Testing::onNextModal([](QWidget* w) { Testing::clickButton(w, "Cancel"); });
    sender.send("3.3.99", "Datasets: 0\n", "", "", &parent);
    QTest::qWait(50);
    EXPECT_EQ(server.requests.size(), 1);
}
