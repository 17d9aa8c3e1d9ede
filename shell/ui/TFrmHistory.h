#pragma once
#include "shell/FindHistory.h"

#include <QWidget>
#include <functional>
#include <string>

class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace quorlan::shell::ui {

// "검색기록": the history of search hits, newest first, narrowed by the filter
// box as it is typed in. Read afresh each time the window is shown; a
// double-click on a find opens its post. Closing the window only hides it.
class TFrmHistory : public QWidget {
    Q_OBJECT
public:
    using OpenPost = std::function<void(const std::string& line)>;

    explicit TFrmHistory(FindHistory& history, QWidget* parent = nullptr);

    void SetOpenPost(OpenPost openPost) { openPost_ = std::move(openPost); }
    // Reads the history again under the filter box's text.
    void Refresh();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ItemDoubleClicked(QTreeWidgetItem* item);

    FindHistory& history_;
    OpenPost openPost_;
    QLineEdit* EditFilter = nullptr;
    QTreeWidget* ListHistory = nullptr;
};

} // namespace quorlan::shell::ui
