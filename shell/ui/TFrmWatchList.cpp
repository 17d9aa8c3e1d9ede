#include "shell/ui/TFrmWatchList.h"

#include "board/WatchList.h"
#include "qt/QtText.h"
#include "shell/ui/NamedButton.h"
#include "shell/ui/ProgramIcon.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace quorlan::shell::ui {
namespace {

constexpr int kWidth = 460;
constexpr int kHeight = 340;

QLineEdit* MakeEdit(QWidget* parent, const char* objectName, const char* utf8Placeholder) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(objectName));
    edit->setPlaceholderText(qt::Caption(utf8Placeholder));
    return edit;
}

} // namespace

TFrmWatchList::TFrmWatchList(client::ClientState& state, base::IMessageBox& messageBox, QWidget* parent)
    : QWidget(parent, Qt::Window), state_(state), editor_(state, messageBox) {
    setObjectName(QStringLiteral("FrmWatchList"));
    setWindowTitle(qt::Caption("검색단어 목록"));
    setWindowIcon(ProgramIcon());
    auto* layout = new QVBoxLayout(this);

    auto* main = new QGridLayout;
    main->addWidget(new QLabel(qt::Caption("단어설정 : "), this), 0, 0);
    LabelSearchCondition = new QLabel(this);
    LabelSearchCondition->setObjectName(QStringLiteral("LabelSearchCondition"));
    LabelSearchCondition->setTextFormat(Qt::PlainText);
    main->addWidget(LabelSearchCondition, 0, 1, 1, 2);
    main->addWidget(new QLabel(qt::Caption("제외단어 : "), this), 1, 0);
    EditExclude = MakeEdit(this, "EditExclude", "쉼표로 구분");
    main->addWidget(EditExclude, 1, 1);
    BtnSetExclude = MakeButton(this, "적용", "BtnSetExclude");
    main->addWidget(BtnSetExclude, 1, 2);
    main->setColumnStretch(1, 1);
    layout->addLayout(main);

    ListWatch = new QTreeWidget(this);
    ListWatch->setObjectName(QStringLiteral("ListWatch"));
    ListWatch->setRootIsDecorated(false);
    ListWatch->setUniformRowHeights(true);
    ListWatch->setSelectionMode(QAbstractItemView::SingleSelection);
    ListWatch->setHeaderLabels({qt::Caption("검색단어"), qt::Caption("제외단어")});
    ListWatch->header()->setStretchLastSection(true);
    layout->addWidget(ListWatch, 1);

    auto* edits = new QGridLayout;
    edits->addWidget(new QLabel(qt::Caption("검색단어 : "), this), 0, 0);
    EditWatchCondition = MakeEdit(this, "EditWatchCondition", "예: 아이폰&미개봉");
    edits->addWidget(EditWatchCondition, 0, 1);
    edits->addWidget(new QLabel(qt::Caption("제외단어 : "), this), 1, 0);
    EditWatchExclude = MakeEdit(this, "EditWatchExclude", "쉼표로 구분");
    edits->addWidget(EditWatchExclude, 1, 1);
    layout->addLayout(edits);

    auto* buttons = new QHBoxLayout;
    BtnAdd = MakeButton(this, "추가", "BtnAdd");
    BtnEdit = MakeButton(this, "수정", "BtnEdit");
    BtnRemove = MakeButton(this, "삭제", "BtnRemove");
    BtnClose = MakeButton(this, "닫기", "BtnClose");
    buttons->addWidget(BtnAdd);
    buttons->addWidget(BtnEdit);
    buttons->addWidget(BtnRemove);
    buttons->addStretch(1);
    buttons->addWidget(BtnClose);
    layout->addLayout(buttons);
    resize(kWidth, kHeight);

    connect(BtnSetExclude, &QPushButton::clicked, this, &TFrmWatchList::BtnSetExcludeClick);
    connect(BtnAdd, &QPushButton::clicked, this, &TFrmWatchList::BtnAddClick);
    connect(BtnEdit, &QPushButton::clicked, this, &TFrmWatchList::BtnEditClick);
    connect(BtnRemove, &QPushButton::clicked, this, &TFrmWatchList::BtnRemoveClick);
    connect(BtnClose, &QPushButton::clicked, this, &QWidget::hide);
    connect(ListWatch, &QTreeWidget::itemChanged, this, &TFrmWatchList::ItemChanged);
    connect(ListWatch, &QTreeWidget::itemSelectionChanged, this, &TFrmWatchList::SelectionChanged);
}

void TFrmWatchList::Refresh() {
    refreshing_ = true;
    LabelSearchCondition->setText(qt::QStringFromCp949(state_.FSearchCondition));
    EditExclude->setText(qt::QStringFromCp949(board::JoinExcludeWords(state_.FExclude)));
    const int selected = SelectedRow();
    ListWatch->clear();
    QList<QTreeWidgetItem*> items;
    for (const client::WatchEntry& entry : state_.FWatchList) {
        auto* item = new QTreeWidgetItem(
            {qt::QStringFromCp949(entry.condition), qt::QStringFromCp949(board::JoinExcludeWords(entry.exclude))});
        // The tick is the entry's switch.
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, entry.off ? Qt::Unchecked : Qt::Checked);
        items.push_back(item);
    }
    ListWatch->addTopLevelItems(items);
    ListWatch->resizeColumnToContents(0);
    if (selected >= 0 && selected < ListWatch->topLevelItemCount()) {
        ListWatch->setCurrentItem(ListWatch->topLevelItem(selected));
    }
    refreshing_ = false;
}

void TFrmWatchList::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Refresh();
}

int TFrmWatchList::SelectedRow() const {
    const QList<QTreeWidgetItem*> selected = ListWatch->selectedItems();
    return selected.isEmpty() ? -1 : ListWatch->indexOfTopLevelItem(selected.front());
}

void TFrmWatchList::BtnSetExcludeClick() {
    editor_.SetMainExclude(qt::Cp949FromQString(EditExclude->text()));
    Refresh();
}

void TFrmWatchList::BtnAddClick() {
    if (!editor_.Add(qt::Cp949FromQString(EditWatchCondition->text()),
                     qt::Cp949FromQString(EditWatchExclude->text()))) {
        return;
    }
    Refresh();
    ListWatch->setCurrentItem(ListWatch->topLevelItem(ListWatch->topLevelItemCount() - 1));
}

void TFrmWatchList::BtnEditClick() {
    const int row = SelectedRow();
    if (row < 0) return;
    if (editor_.Edit(static_cast<std::size_t>(row), qt::Cp949FromQString(EditWatchCondition->text()),
                     qt::Cp949FromQString(EditWatchExclude->text()))) {
        Refresh();
    }
}

void TFrmWatchList::BtnRemoveClick() {
    const int row = SelectedRow();
    if (row < 0) return;
    editor_.Remove(static_cast<std::size_t>(row));
    Refresh();
}

void TFrmWatchList::ItemChanged(QTreeWidgetItem* item, int column) {
    if (refreshing_ || column != 0) return;
    const int row = ListWatch->indexOfTopLevelItem(item);
    if (row >= 0) editor_.SetOff(static_cast<std::size_t>(row), item->checkState(0) != Qt::Checked);
}

void TFrmWatchList::SelectionChanged() {
    if (refreshing_) return;
    const int row = SelectedRow();
    if (row < 0 || static_cast<std::size_t>(row) >= state_.FWatchList.size()) return;
    const client::WatchEntry& entry = state_.FWatchList[static_cast<std::size_t>(row)];
    EditWatchCondition->setText(qt::QStringFromCp949(entry.condition));
    EditWatchExclude->setText(qt::QStringFromCp949(board::JoinExcludeWords(entry.exclude)));
}

} // namespace quorlan::shell::ui
