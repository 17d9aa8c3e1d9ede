#include "shell/ui/ProgramIcon.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>

namespace quorlan::shell::ui {

namespace {

QPixmap DrawIcon(int side) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1f, 0x5f, 0xa8));
    painter.drawRoundedRect(QRectF(0, 0, side, side), side / 6.0, side / 6.0);
    QFont font;
    font.setBold(true);
    font.setPixelSize(side * 3 / 4);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 0, side, side), Qt::AlignCenter, QStringLiteral("Q"));
    return pixmap;
}

} // namespace

QIcon ProgramIcon() {
    static const QIcon icon = [] {
        QIcon made;
        for (int side : {16, 24, 32, 48, 64}) made.addPixmap(DrawIcon(side));
        return made;
    }();
    return icon;
}

} // namespace quorlan::shell::ui
