#include "tools/testweb/MarketTitles.h"

#include "base/Cp949.h"

namespace quorlan::testweb {

const std::vector<std::string>& SeedTitles() {
    static const std::vector<std::string> titles = {
        "아이폰 13 미니 128기가 팝니다",
        "갤럭시 S22 울트라 자급제 판매 (직거래)",
        "닌텐도 스위치 OLED 풀박스",
        "맥북 에어 M1 8/256 깨끗합니다",
        "LG 그램 16인치 2022년형 판매합니다",
        "자전거 삼천리 하이브리드 직거래만 합니다",
        "플스5 디스크 에디션 + 듀얼센스 2개",
        "아이패드 프로 11 3세대 셀룰러",
        "에어팟 프로 2세대 미개봉",
        "캠핑 의자 테이블 세트 일괄 (서울 직거래)",
        "다이슨 V11 청소기 부품 포함",
        "로지텍 MX Keys 키보드 & 마우스",
        "유아용 카시트 판매합니다",
        "소니 WH-1000XM4 헤드폰",
        "RTX 3070 그래픽카드 채굴X",
        "책상 의자 무료 나눔",
        "캐논 EOS R6 바디 판매",
        "애플워치 SE 40mm 실버",
        "전기밥솥 쿠쿠 6인용 새것",
        "골프채 풀세트 직거래 원합니다",
        "삼성 모니터 27인치 QHD",
        "기계식 키보드 체리 적축",
        "킥보드 나인봇 맥스 판매",
        "아기 옷 일괄 판매 0~12개월",
        "갤럭시 탭 S8 + 키보드 커버",
    };
    return titles;
}

const std::vector<std::string>& AutoPostTitles() {
    static const std::vector<std::string> titles = {
        "중고 냉장고 직거래 (경기 남부)",
        "보스 사운드바 700 팝니다",
        "레고 테크닉 42115 미개봉",
        "스타벅스 기프티콘 싸게 팝니다",
        "캠핑용 파워뱅크 대용량",
        "에어컨 벽걸이형 직거래만",
        "<급처> 전자레인지 삼성",
        "드럼 세탁기 LG 트롬 판매",
        "아이폰 14 프로 256 딥퍼플",
        "로드자전거 카본 프레임 직거래",
        "게이밍 의자 시크릿랩",
        "원목 식탁 4인용 나눔합니다",
        "DSLR 니콘 D750 + 렌즈",
        "갤럭시 버즈2 프로 화이트",
        "유모차 부가부 폭스 직거래 희망",
        "공기청정기 위닉스 타워",
        "전동 드릴 보쉬 세트",
        "피아노 디지털 야마하 P-125",
        "스노우보드 데크 & 바인딩",
        "노트북 거치대와 키보드",
        "캠핑 텐트 코베아 직거래",
        "e북 리더기 크레마",
        "안마의자 바디프랜드 직거래만 가능",
        "무선 청소기 LG 코드제로",
        "아이맥 24인치 블루",
        "커피머신 드롱기 전자동",
        "전기자전거 배터리 새것 직거래",
        "스탠드 조명 루이스폴센",
        "운동화 나이키 덩크 로우 270",
        "빔프로젝터 삼성 더 프리스타일",
    };
    return titles;
}

const std::vector<std::string>& Writers() {
    // Members first, then guests (no account); guest nicknames hold words that
    // titles use, so a page reader that takes a nickname for a title shows it.
    static const std::vector<std::string> writers = {
        "김철수", "이영희", "박민수", "최지은", "중고왕", "알뜰살뜰", "장터지기", "정직한판매자", "hong99",
        "직거래왕", "자전거도사",
    };
    return writers;
}

int MemberNumber(const std::string& writerCp949) {
    if (writerCp949 == QUORLAN_CP949("운영자")) return 1;
    const auto& writers = Writers();
    for (std::size_t i = 0; i < kMemberWriters; ++i) {
        if (base::Cp949FromUtf8(writers[i]) == writerCp949) return static_cast<int>(i) + 2;
    }
    return 0;
}

std::string BodyFor(const std::string& titleCp949) {
    std::string body = base::Cp949FromUtf8("상태 좋습니다. 쪽지나 댓글 주세요.");
    if (titleCp949.find(QUORLAN_CP949("직거래")) != std::string::npos) {
        body += base::Cp949FromUtf8(" 직거래 장소와 시간은 협의 가능합니다.");
    }
    return body;
}

void SeedBoard(Board& board, std::chrono::system_clock::time_point now) {
    const auto& titles = SeedTitles();
    const auto& writers = Writers();
    const int count = static_cast<int>(titles.size());
    for (int i = 0; i < count; ++i) {
        NewPost post;
        post.title = base::Cp949FromUtf8(titles[static_cast<std::size_t>(i)]);
        post.writer = base::Cp949FromUtf8(writers[static_cast<std::size_t>(i) % writers.size()]);
        post.body = BodyFor(post.title);
        post.comments = (i * 7) % 5;
        post.views = 10 + (i * 37) % 300;
        post.created = now - std::chrono::hours(3 * (count - i));
        board.AddPost(std::move(post));
    }
}

} // namespace quorlan::testweb
