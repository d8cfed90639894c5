#include "app/updatechecker.h"

#include "netdialogtesting.h"

#include <QNetworkReply>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace Tessary;
using Tessary::Testing::LoopbackServer;

namespace {

const QString kManifestPath = QStringLiteral("/media/public_001/Downloads/Tessary/tessary_latest.json");

// What one check reported: the signal and its arguments.
struct Outcome {
    QString signal;   // "available", "upToDate", "failed" or empty for none
    QStringList args;
};

class UpdateCheckerTest : public ::testing::Test
{
protected:
    // Runs one check against the server and waits until its reply is gone.
    Outcome check(bool silent)
    {
        UpdateChecker checker;
        checker.setManifestUrl(server.url(kManifestPath));
        QSignalSpy available(&checker, &UpdateChecker::updateAvailable);
        QSignalSpy upToDate(&checker, &UpdateChecker::upToDate);
        QSignalSpy failed(&checker, &UpdateChecker::checkFailed);
        const int before = server.requests.size();
        checker.checkForUpdates(silent);
        const bool done = QTest::qWaitFor([&] {
            return server.requests.size() > before && checker.findChildren<QNetworkReply*>().isEmpty();
        });
        EXPECT_TRUE(done) << "the check did not finish";
        QCoreApplication::processEvents();
        EXPECT_LE(available.size() + upToDate.size() + failed.size(), 1);
        const auto args = [](const QSignalSpy& spy) {
            QStringList list;
            for (const QVariant& v : spy.first())
                list << v.toString();
            return list;
        };
        if (!available.isEmpty())
            return {QStringLiteral("available"), args(available)};
        if (!upToDate.isEmpty())
            return {QStringLiteral("upToDate"), args(upToDate)};
        if (!failed.isEmpty())
            return {QStringLiteral("failed"), args(failed)};
        return {};
    }

    Outcome checkManifest(const QByteArray& body, bool silent)
    {
        server.respond(200, body);
        return check(silent);
    }

    LoopbackServer server;
};

} // namespace

TEST_F(UpdateCheckerTest, VersionIsTheProgramsAndThisBuildNamesNoServer)
{
    EXPECT_EQ(UpdateChecker::currentVersion(), "3.3.99");
    EXPECT_TRUE(UpdateChecker::configuredManifestUrl().isEmpty());
    UpdateChecker checker;
    EXPECT_TRUE(checker.manifestUrl().isEmpty());
}

TEST_F(UpdateCheckerTest, WithoutServerOnlyACheckOnDemandAnswersAndNothingIsSent)
{
    UpdateChecker checker;
    QSignalSpy failed(&checker, &UpdateChecker::checkFailed);
    checker.checkForUpdates(true);
    QTest::qWait(20);
    EXPECT_EQ(failed.size(), 0);

    checker.checkForUpdates(false);
    EXPECT_EQ(failed.size(), 0);   // the answer comes later, like a real one
    ASSERT_TRUE(failed.wait(1000));
    EXPECT_TRUE(failed.first().first().toString().contains("No update server is configured"));
    EXPECT_TRUE(server.requests.isEmpty());
}

TEST_F(UpdateCheckerTest, RequestIsAGetOfTheManifestWithOurUserAgent)
{
    checkManifest(R"({"version": "3.3.99"})", false);
    ASSERT_EQ(server.requests.size(), 1);
    EXPECT_EQ(server.requests[0].method, "GET");
    EXPECT_EQ(server.requests[0].path, kManifestPath.toUtf8());
    EXPECT_EQ(server.requests[0].headers.value("user-agent"), "Tessary/3.3.99");
}

TEST_F(UpdateCheckerTest, ComparesVersionsSegmentBySegment)
{
    struct Case {
        const char* version;
        const char* onDemand;
        const char* silent;
    };
    // A suffix after the numbers is ignored; a missing segment counts as smaller.
    const Case cases[] = {
        {"3.3.99", "upToDate", ""},
        {"3.3.99-beta", "upToDate", ""},
        {"3.3.98", "upToDate", ""},
        {"3.2", "upToDate", ""},
        {"3.4.0", "available", "available"},
        {"3.4", "available", "available"},
        {"3.3.99.1", "available", "available"},
        {"10.0", "available", "available"},
    };
    for (const Case& c : cases) {
        const QByteArray body = QByteArray(R"({"version": ")") + c.version + R"("})";
        const Outcome demand = checkManifest(body, false);
        EXPECT_EQ(demand.signal, c.onDemand) << c.version;
        EXPECT_EQ(checkManifest(body, true).signal, c.silent) << c.version;
        if (demand.signal == "upToDate") {
            EXPECT_EQ(demand.args, QStringList{"3.3.99"});
        }
        if (demand.signal == "available") {
            EXPECT_EQ(demand.args.value(0), c.version);   // the version string as the server wrote it
        }
    }
}

TEST_F(UpdateCheckerTest, UnusableManifestsAreReportedOnDemandOnly)
{
    const QString noNumbers = QStringLiteral("The server returned an unrecognized version string.");
    const QString unreadable = QStringLiteral("Could not read version information from the server.");
    const std::pair<QByteArray, QString> cases[] = {
        {R"({"version": "v3.4"})", noNumbers},
        {R"({"version": ""})", noNumbers},
        {R"({"url": "https://x.test/"})", noNumbers},
        {R"({"version": 3.4})", noNumbers},   // a number, not a string
        {R"(["3.4.0"])", unreadable},
        {"version=3.4.0", unreadable},
        {"", unreadable},
        {R"({"version": "3.4.0")", unreadable},
    };
    for (const auto& [body, message] : cases) {
        const Outcome demand = checkManifest(body, false);
        EXPECT_EQ(demand.signal, "failed") << body.constData();
        EXPECT_EQ(demand.args.value(0), message) << body.constData();
        EXPECT_EQ(checkManifest(body, true).signal, "") << body.constData();
    }
}

TEST_F(UpdateCheckerTest, OversizedAnswersAreRefusedAndLongTextsAreCut)
{
    // Far more than any manifest: refused as unreadable, whatever it holds.
    const QByteArray huge = R"({"version": "3.4.0", "notes": ")" + QByteArray(2 << 20, 'x') + R"("})";
    const Outcome demand = checkManifest(huge, false);
    EXPECT_EQ(demand.signal, "failed");
    EXPECT_EQ(demand.args.value(0), "Could not read version information from the server.");
    EXPECT_EQ(checkManifest(huge, true).signal, "");

    // A manifest of a readable size still offers the update, with its notes cut.
    const QByteArray longNotes = R"({"version": "3.4.0", "notes": ")" + QByteArray(100000, 'n') + R"("})";
    const Outcome o = checkManifest(longNotes, true);
    ASSERT_EQ(o.signal, "available");
    const QString notes = o.args.value(2);
    EXPECT_LE(notes.size(), 2000);
    EXPECT_TRUE(notes.startsWith("nnnn"));
    EXPECT_TRUE(notes.endsWith(QChar(0x2026)));

    // So is a version text that goes on after its numbers: it is still compared.
    const QByteArray longVersion = R"({"version": "9.9.9)" + QByteArray(900000, 'x') + R"("})";
    const Outcome v = checkManifest(longVersion, true);
    ASSERT_EQ(v.signal, "available");
    EXPECT_LE(v.args.value(0).size(), 64);
    EXPECT_TRUE(v.args.value(0).startsWith("9.9.9xx"));
}

TEST_F(UpdateCheckerTest, ServerErrorsAreReportedOnDemandOnly)
{
    server.respond(404, "not here");
    const Outcome demand = check(false);
    EXPECT_EQ(demand.signal, "failed");
    EXPECT_FALSE(demand.args.value(0).isEmpty());
    EXPECT_EQ(check(true).signal, "");
}

TEST_F(UpdateCheckerTest, DownloadPageComesFromTheManifestOrItsFolder)
{
    const QString folder = server.url("/media/public_001/Downloads/Tessary/").toString();
    Outcome o = checkManifest(R"({"version": "3.4.0", "notes": "Faster plots"})", true);
    EXPECT_EQ(o.args, (QStringList{"3.4.0", folder, "Faster plots"}));

    o = checkManifest(R"({"version": "3.4.0", "url": "https://downloads.example/tessary", "extra": 1})", true);
    EXPECT_EQ(o.args, (QStringList{"3.4.0", "https://downloads.example/tessary", ""}));

    // The page goes to the desktop: a local file or another scheme from the
    // server is not opened, the default page is.
    for (const char* unsafe : {"file:///etc/passwd", "javascript:alert(1)", "", "not a url"}) {
        o = checkManifest(QByteArray(R"({"version": "3.4.0", "url": ")") + unsafe + R"("})", true);
        EXPECT_EQ(o.args.value(1), folder) << unsafe;
    }
}
