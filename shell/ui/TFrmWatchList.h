#pragma once
#include "base/IMessageBox.h"
#include "board/WatchListEditor.h"
#include "client/ClientState.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace quorlan::shell::ui {

// "검색단어 목록": the watch list beside the main condition. Shows the main
// condition (set by "단어설정") with its words to leave out, and the further
// conditions, each with its words to leave out and a tick that switches it
// on and off; adds, edits and removes them through board::WatchListEditor,
// which refuses what the "단어설정" dialog refuses. Read afresh each time the
// window is shown; closing it only hides it.
class TFrmWatchList : public QWidget {
    Q_OBJECT
public:
    TFrmWatchList(client::ClientState& state, base::IMessageBox& messageBox, QWidget* parent = nullptr);

    // Shows the state's list and main condition again.
    void Refresh();

    // Controls.
    void BtnSetExcludeClick();
    void BtnAddClick();
    void BtnEditClick();
    void BtnRemoveClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ItemChanged(QTreeWidgetItem* item, int column);
    void SelectionChanged();
    // The selected row, or -1.
    int SelectedRow() const;

    client::ClientState& state_;
    board::WatchListEditor editor_;
    bool refreshing_ = false;

    QLabel* LabelSearchCondition = nullptr;
    QLineEdit* EditExclude = nullptr;
    QPushButton* BtnSetExclude = nullptr;
    QTreeWidget* ListWatch = nullptr;
    QLineEdit* EditWatchCondition = nullptr;
    QLineEdit* EditWatchExclude = nullptr;
    QPushButton* BtnAdd = nullptr;
    QPushButton* BtnEdit = nullptr;
    QPushButton* BtnRemove = nullptr;
    QPushButton* BtnClose = nullptr;
};

} // namespace quorlan::shell::ui
