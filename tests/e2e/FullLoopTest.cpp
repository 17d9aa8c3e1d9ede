// The full loop: a new post reaches both clients, the client alerts, and the
// text message it asks for is relayed first by the second client, then by the
// client itself through the SMS gateway.
#include "FullLoop.h"

#include "account/TFrmLoginOKBottomDlg.h"
#include "base/Cp949.h"
#include "shell/ui/TFrmMain.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

namespace quorlan::test {
namespace {

using namespace std::chrono_literals;

// The two posts of the test and their lines as the client extracts them
// (the title alone: the fixture closes its links with a lower-case tag).
// "직거래" in cp949 is C1 F7 B0 C5 B7 A1.
const char* const kTitle1 = "MTB 직거래";
const char* const kLine1 = "MTB \xC1\xF7\xB0\xC5\xB7\xA1";
const char* const kTitle2 = "DSLR 직거래";
const char* const kLine2 = "DSLR \xC1\xF7\xB0\xC5\xB7\xA1";

TEST(FullLoopTest, NewPostReachesBothClientsAlertsAndIsRelayedAsTextMessage) {
    FullLoop loop;
    loop.Start();
    if (HasFatalFailure()) return;
    shell::ui::TFrmMain& main = loop.Main();
    Control<QCheckBox>(main, "CheckBoxSMS")->click();
    ASSERT_TRUE(Control<QCheckBox>(main, "CheckBoxSMS")->isChecked());

    // Round 1: the second client is the SMS relay.
    const std::optional<Road> road1 = loop.RunRoad(kTitle1, kLine1, 0ms);
    ASSERT_TRUE(road1.has_value()) << loop.Server().Log();
    PrintRoad("test", 1, *road1);
    EXPECT_LT(road1->peerReceived - road1->posted, loop.Period() + loop.Period() / 20 + kCompareDelay + kRoadSlack);
    // Logged in with CheckBoxSMS ticked: RequestPhone with the matched line.
    const auto requestPhone = loop.Sent(net::RequestPhone, road1->posted, 5s);
    ASSERT_TRUE(requestPhone.has_value());
    EXPECT_EQ(requestPhone->text, kLine1);
    std::optional<PeerClient::Received> order;
    ASSERT_TRUE(WaitFor([&] { return (order = loop.Peer().Find(net::RequestSMS, 0)).has_value(); }, 10s));
    EXPECT_EQ(order->message.phone, kClientPhoneDigits);
    EXPECT_EQ(order->message.text, kLine1);
    ASSERT_TRUE(WaitFor([&] { return loop.ListBoxHas(QStringLiteral("RequestPhone Result :1")); }, 10s));
    EXPECT_TRUE(loop.Web().sms().Snapshot().empty()) << "the second client relays without the gateway";

    // Round 2: the client is the relay. The second client steps down; the
    // client declares itself a robot with the login dialog's chord.
    ASSERT_TRUE(loop.Peer().Send(net::EncodeRobotMode(0)));
    const Clock::time_point chord = Clock::now();
    auto& dialog = loop.Program().FrmLoginOKBottomDlg();
    QTest::keyClick(Control<QLineEdit>(dialog, "EditLoginPassword"), Qt::Key_R, Qt::ControlModifier | Qt::AltModifier);
    const auto robot = loop.Sent(net::RobotMode, chord, 5s);
    ASSERT_TRUE(robot.has_value());
    EXPECT_EQ(robot->value, 1u);
    const std::size_t ordersBefore = loop.Peer().Messages().size();

    const std::optional<Road> road2 = loop.RunRoad(kTitle2, kLine2, 0ms);
    ASSERT_TRUE(road2.has_value()) << loop.Server().Log();
    PrintRoad("test", 2, *road2);
    const QString relayed = QStringLiteral("RequestSMS :") + QString::fromLatin1(kClientPhoneDigits) +
                            QStringLiteral(" ") + QString::fromUtf8(base::Utf8FromCp949(kLine2));
    ASSERT_TRUE(WaitFor([&] { return loop.ListBoxHas(relayed); }, 10s));
    ASSERT_TRUE(WaitFor([&] { return loop.DebugLogHas("SMS Gateway: "); }, 10s));
    EXPECT_TRUE(loop.DebugLogHas("SMS Gateway: 127.0.0.1 200"));
    EXPECT_FALSE(loop.Peer().Find(net::RequestSMS, ordersBefore).has_value());
    const auto requests = loop.Web().sms().Snapshot();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].rawQuery, "userid=e2e-sms&passwd=sms-pw&sender=01055550002&receiver=01055550002&encode=1"
                                    "&message=Quorlan%3A%20DSLR%20%C1%F7%B0%C5%B7%A1");
    EXPECT_EQ(testweb::FindParam(requests[0].params, "message"), "Quorlan: DSLR \xC1\xF7\xB0\xC5\xB7\xA1");
}

} // namespace
} // namespace quorlan::test
