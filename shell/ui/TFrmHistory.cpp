#include "shell/ui/TFrmHistory.h"

#include "qt/QtText.h"
#include "shell/ui/ProgramIcon.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace quorlan::shell::ui {
namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 360;
// The post line as found, cp949, on each row.
constexpr int kLineRole = Qt::UserRole;

} // namespace

TFrmHistory::TFrmHistory(FindHistory& history, QWidget* parent) : QWidget(parent, Qt::Window), history_(history) {
    setObjectName(QStringLiteral("FrmHistory"));
    setWindowTitle(qt::Caption("검색기록"));
    setWindowIcon(ProgramIcon());
    auto* layout = new QVBoxLayout(this);
    EditFilter = new QLineEdit(this);
    EditFilter->setObjectName(QStringLiteral("EditFilter"));
    EditFilter->setPlaceholderText(qt::Caption("검색"));
    EditFilter->setClearButtonEnabled(true);
    layout->addWidget(EditFilter);
    ListHistory = new QTreeWidget(this);
    ListHistory->setObjectName(QStringLiteral("ListHistory"));
    ListHistory->setRootIsDecorated(false);
    ListHistory->setUniformRowHeights(true);
    ListHistory->setHeaderLabels(
        {qt::Caption("시간"), qt::Caption("게시물"), qt::Caption("검색단어"), qt::Caption("게시판")});
    ListHistory->header()->setStretchLastSection(true);
    layout->addWidget(ListHistory);
    resize(kWidth, kHeight);
    connect(EditFilter, &QLineEdit::textChanged, this, &TFrmHistory::Refresh);
    connect(ListHistory, &QTreeWidget::itemDoubleClicked, this, &TFrmHistory::ItemDoubleClicked);
}

void TFrmHistory::Refresh() {
    ListHistory->clear();
    QList<QTreeWidgetItem*> items;
    for (const Find& find : history_.Newest(qt::Cp949FromQString(EditFilter->text()))) {
        auto* item = new QTreeWidgetItem({qt::QStringFromCp949(find.time), qt::QStringFromCp949(find.line),
                                          qt::QStringFromCp949(find.condition), qt::QStringFromCp949(find.boardUrl)});
        item->setData(0, kLineRole, QByteArray::fromStdString(find.line));
        items.push_back(item);
    }
    ListHistory->addTopLevelItems(items);
    for (int column = 0; column < 3; ++column) ListHistory->resizeColumnToContents(column);
}

void TFrmHistory::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Refresh();
}

void TFrmHistory::ItemDoubleClicked(QTreeWidgetItem* item) {
    if (item && openPost_) openPost_(item->data(0, kLineRole).toByteArray().toStdString());
}

} // namespace quorlan::shell::ui
