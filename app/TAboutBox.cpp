#include "app/TAboutBox.h"

#include "qt/QtText.h"
#include "shell/ui/ProgramIcon.h"

#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "quorlan/BuildConfig.h"

namespace quorlan::app {

namespace {

QLabel* MakeLabel(QWidget* parent, const QString& text, const char* objectName) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setObjectName(QString::fromLatin1(objectName));
    return label;
}

} // namespace

QStringList TAboutBox::UsageLines() {
    return {
        qt::Caption("이 프로그램은 게시판 모니터링 프로그램입니다."),
        qt::Caption("공동 모니터링을 사용하며 시간단위는 20분입니다(권장)."),
        QString(),
        qt::Caption("사용방법"),
        qt::Caption("1. 내게시판을 설정한다 "),
        qt::Caption("   게시판설정 버튼을 눌러 홈페이지를 열고, 검색할 장터"),
        qt::Caption("   게시판으로 가서 \"게시판선택\"을 누른다."),
        qt::Caption("2. 검색단어를 설정한다"),
        qt::Caption("   단어설정 버튼을 누르고 검색단어를 입력한다."),
        qt::Caption("   두 단어 사이에 \"&\"를 넣으면 두 단어가 모두 들어 있어야"),
        qt::Caption("   하고, \"+\"를 넣으면 어느 한 단어만 찾아져도 알람이 울린다."),
        qt::Caption("3. 시작버튼을 눌러서 모니터링을 시작한다"),
        qt::Caption("* 검색단어가 찾아지게되면 팝업메세지가 뜬다."),
    };
}

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    setWindowIcon(shell::ui::ProgramIcon());
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("NanumGothic")});
    setFont(font);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* grid = new QGridLayout(panel);
    auto* icon = new QLabel(panel);
    icon->setObjectName(QStringLiteral("ProgramIcon"));
    icon->setPixmap(shell::ui::ProgramIcon().pixmap(32, 32));
    grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(MakeLabel(panel, QStringLiteral("Product Name : Quorlan"), "ProductName"), 0, 1);
    grid->addWidget(MakeLabel(panel, QStringLiteral("Version : 0.1"), "Version"), 1, 1);
    grid->addWidget(
        MakeLabel(panel, qt::Caption("문의 : ") + QString::fromUtf8(config::kHomePageUrl), "Comments"), 2, 0, 1,
        2);
    auto* usage = new QListWidget(panel);
    usage->setObjectName(QStringLiteral("ListBox1"));
    usage->addItems(UsageLines());
    usage->setSelectionMode(QAbstractItemView::NoSelection);
    grid->addWidget(usage, 3, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* column = new QVBoxLayout(this);
    column->addWidget(panel, 1);
    column->addWidget(ok, 0, Qt::AlignHCenter);
    setFixedSize(kClientWidth, kClientHeight);
}

int TAboutBox::ShowModal() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
    return exec();
}

} // namespace quorlan::app
