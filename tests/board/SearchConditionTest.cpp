#include "base/Cp949.h"
#include "board/SearchCondition.h"
#include "board/SearchConditionHandler.h"
#include "fakes/FakeInputBox.h"
#include "fakes/FakeSocket.h"
#include "fakes/RecordingLogs.h"

#include <gtest/gtest.h>

using namespace quorlan;
using Form = board::SearchWords::Form;

namespace {

const std::string kDirectTrade = "\xC1\xF7\xB0\xC5\xB7\xA1"; // "직거래" in cp949
const std::string kOneSyllable = "\xB0\xA1";                 // "가"

struct ParseCase {
    std::string condition;
    Form form;
    std::string first;
    std::string second;
};

const ParseCase kParseCases[] = {
    {kDirectTrade, Form::Single, kDirectTrade, ""},
    {"A&B", Form::Both, "A", "B"},
    {"A+B", Form::Either, "A", "B"},
    {"A & B", Form::Both, "A ", " B"},
    {"A+B&C", Form::Both, "A+B", "C"},
    {"A&B+D", Form::Both, "A", "B+D"},
    {"A&&B", Form::Both, "A", "&B"},
    {"A&", Form::Both, "A", ""},
    {"+B", Form::Either, "", "B"},
    {"", Form::Single, "", ""},
};

} // namespace

TEST(ParseSearchCondition, ThreeFormsAmpersandFirstNothingTrimmed) {
    for (const auto& c : kParseCases) {
        const auto words = board::ParseSearchCondition(c.condition);
        EXPECT_EQ(words.form, c.form) << c.condition;
        EXPECT_EQ(words.first, c.first) << c.condition;
        EXPECT_EQ(words.second, c.second) << c.condition;
    }
}

namespace {

struct HitCase {
    std::string condition;
    std::string line;
    bool hit;
};

const HitCase kHitCases[] = {
    {kDirectTrade, "[" + kDirectTrade + "] bike", true},
    {kDirectTrade, "bike", false},
    {"bike&cheap", "bike only", false},
    {"bike&cheap", "cheap bike", true},
    {"bike+car", "a car", true},
    {"bike+car", "a bus", false},
    {"bike&", "bike", false},
    {"bike+", "bike", true},
    {"+car", "car", true},
    {"+car", "bike", false},
    {"A&B+D", "A B", false},
    {"A&B+D", "xB+DyA", true},
    {"bike & car", "bike&car", false},
    {"bike & car", "bike and car", true},
    {"Bike", "bike", false},
    {"", "anything", false},
    // Byte-wise: a word may match across a character boundary.
    {"\xB0\xA1", "\xC7\xB0\xA1\xB1", true},
};

} // namespace

TEST(ConditionHits, ByteWiseCaseSensitiveSubstrings) {
    for (const auto& c : kHitCases)
        EXPECT_EQ(board::ConditionHits(c.condition, c.line), c.hit) << c.condition << " | " << c.line;
}

namespace {

class RecordingHitActions : public board::ISearchHitActions {
public:
    void ShowAlert(const std::string& line, const std::string& condition) override {
        alerts.push_back(line);
        conditions.push_back(condition);
    }
    bool CheckBoxSMSChecked() const override { return sms; }
    std::vector<std::string> alerts;
    std::vector<std::string> conditions;
    bool sms = false;
};

struct Rig {
    test::FakeSocket socket;
    test::RecordingLogs logs;
    test::RecordingMessageBox box;
    net::Sender sender{socket, logs, box};
    client::ClientState state;
    RecordingHitActions hits;
    test::FakeInputBox input;
    board::SearchConditionHandler handler{state, sender, logs, input, box};
    std::vector<std::string> labels;

    Rig() {
        handler.SetHitActions(&hits);
        handler.SetLabelHook([this](const std::string& text) { labels.push_back(text); });
    }
};

} // namespace

TEST(MatchSearchCondition, HitAlertsThenAsksForAMessageOnlyWhenLoggedInWithSms) {
    struct Case {
        bool loggedIn, sms;
        std::string line;
        bool alert, phone;
    };
    const Case cases[] = {
        {true, true, "cheap bike", true, true},   {false, true, "cheap bike", true, false},
        {true, false, "cheap bike", true, false}, {true, true, "a car", false, false},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.state.FSearchCondition = "bike";
        rig.state.FLoggedIn = c.loggedIn;
        rig.hits.sms = c.sms;
        rig.handler.MatchSearchCondition(c.line);
        EXPECT_EQ(rig.hits.alerts.size(), c.alert ? 1u : 0u) << c.line;
        if (c.phone) {
            ASSERT_EQ(rig.socket.writes.size(), 1u);
            EXPECT_EQ(rig.socket.writes[0], (std::vector<std::uint8_t>{0x0E, 0x00, 'l', 'c', 'h', 'e', 'a', 'p', ' ',
                                                                         'b', 'i', 'k', 'e', 0x00}));
        } else {
            EXPECT_TRUE(rig.socket.writes.empty());
        }
    }
}

TEST(MatchSearchCondition, ALineHittingSeveralConditionsAlertsOnceAndTheListSaysTheFirst) {
    Rig rig;
    rig.state.FSearchCondition = "bike";
    rig.state.FExclude = {"wanted"};
    rig.state.FWatchList = {{"car+bus", {}, false}, {"cheap", {}, false}};
    rig.handler.MatchSearchCondition("cheap bike and car");
    rig.handler.MatchSearchCondition("wanted: cheap bike");
    rig.handler.MatchSearchCondition("wanted: bike");
    EXPECT_EQ(rig.hits.alerts, (std::vector<std::string>{"cheap bike and car", "wanted: cheap bike"}));
    EXPECT_EQ(rig.hits.conditions, (std::vector<std::string>{"bike", "cheap"}));
    EXPECT_EQ(rig.logs.messages, (std::vector<std::string>{base::Cp949FromUtf8("└ 검색단어 : bike"),
                                                           base::Cp949FromUtf8("└ 검색단어 : cheap")}));
}

TEST(MatchSearchCondition, RequestPhoneLengthLimit) {
    Rig rig;
    rig.state.FSearchCondition = "x";
    rig.state.FLoggedIn = true;
    rig.hits.sms = true;
    rig.handler.MatchSearchCondition(std::string(255, 'x'));
    ASSERT_EQ(rig.socket.writes.size(), 1u);
    EXPECT_EQ(rig.socket.writes[0].size(), 259u);
    EXPECT_EQ(rig.socket.writes[0][0], 0x03);
    EXPECT_EQ(rig.socket.writes[0][1], 0x01);
    rig.handler.MatchSearchCondition(std::string(256, 'x'));
    EXPECT_EQ(rig.socket.writes.size(), 1u);
    EXPECT_EQ(rig.box.shown, std::vector<std::string>{"error"});
    EXPECT_EQ(rig.hits.alerts.size(), 2u) << "the alert comes first either way";
}

TEST(BtnSearchConditionClick, ShowsTheFixedDialog) {
    Rig rig;
    rig.input.answer = "bike";
    rig.handler.BtnSearchConditionClick();
    ASSERT_EQ(rig.input.shown.size(), 1u);
    EXPECT_EQ(rig.input.shown[0].caption, "\xB0\xCB\xBB\xF6 \xB4\xDC\xBE\xEE \xBC\xB3\xC1\xA4"); // 검색 단어 설정
    EXPECT_EQ(rig.input.shown[0].prompt, base::Cp949FromUtf8("검색단어를 입력하세요. &&, + 사용가능)  "));
    EXPECT_TRUE(rig.input.shown[0].prompt.ends_with(")  "));
    EXPECT_EQ(rig.input.shown[0].initial, kDirectTrade);
}

TEST(BtnSearchConditionClick, ChecksAreIndependentAndRestoreTheOldCondition) {
    const std::string tooShort = base::Cp949FromUtf8("한글자이상 검색가능합니다.");
    const std::string twoOperators = base::Cp949FromUtf8("검색조합은 1개만 사용가능합니다.");
    struct Case {
        const char* name;
        std::string entered;
        bool cancel;
        std::string condition;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"three bytes pass", "abc", false, "abc", {}},
        {"two ASCII bytes", "ab", false, "old", {tooShort}},
        {"one Hangul syllable", kOneSyllable, false, "old", {tooShort}},
        {"empty", "", false, "old", {tooShort}},
        {"two operators", "a&b+c", false, "old", {twoOperators}},
        {"both checks fail", "&+", false, "old", {tooShort, twoOperators}},
        {"empty word beside the operator", "bike&", false, "bike&", {}},
        {"cancel gives the initial text", "ignored", true, kDirectTrade, {}},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.state.FSearchCondition = "old";
        rig.input.answer = c.entered;
        rig.input.cancel = c.cancel;
        rig.handler.BtnSearchConditionClick();
        EXPECT_EQ(rig.state.FSearchCondition, c.condition) << c.name;
        EXPECT_EQ(rig.box.shown, c.messages) << c.name;
        ASSERT_FALSE(rig.labels.empty()) << c.name;
        EXPECT_EQ(rig.labels.front(), c.cancel ? kDirectTrade : c.entered) << "stored and shown at once: " << c.name;
        EXPECT_EQ(rig.labels.back(), c.condition) << c.name;
    }
}
