#include "ui/qt/AppIcon.h"

#include <QPainter>
#include <QPainterPath>

namespace qtui {
namespace {

// The picture is laid out on a 64-unit grid and scaled to the size asked for.
constexpr double kGrid = 64.0;
constexpr int kIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

const QColor kTile(0x1D, 0x4E, 0x89);
const QColor kBoard(0x2F, 0x8F, 0x4E);
const QColor kBoardEdge(0x1E, 0x63, 0x35);
const QColor kSocket(0xD9, 0xDD, 0xE2);
const QColor kSocketMouth(0x26, 0x2B, 0x31);
const QColor kChip(0x22, 0x24, 0x28);
const QColor kGold(0xE8, 0xB8, 0x3A);
const QColor kLed(0x7C, 0xF2, 0x6A);

void DrawTile(QPainter& painter) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(kTile);
    painter.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
}

void DrawBoard(QPainter& painter) {
    painter.setPen(QPen(kBoardEdge, 2));
    painter.setBrush(kBoard);
    painter.drawRoundedRect(QRectF(9, 14, 46, 38), 4, 4);
    // Traces from the socket to the chip.
    painter.setPen(QPen(kGold, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    for (int i = 0; i < 3; ++i) {
        const double y = 26 + i * 6;
        QPainterPath trace(QPointF(27, y));
        trace.lineTo(33, y);
        trace.lineTo(36, y + 2);
        painter.drawPath(trace);
    }
}

void DrawSocket(QPainter& painter) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(kSocket);
    painter.drawRect(QRectF(6, 22, 21, 22));
    // The mouth of an RJ45 socket, with its latch notch.
    QPainterPath mouth;
    mouth.moveTo(9, 27);
    mouth.lineTo(24, 27);
    mouth.lineTo(24, 38);
    mouth.lineTo(19, 38);
    mouth.lineTo(19, 41);
    mouth.lineTo(14, 41);
    mouth.lineTo(14, 38);
    mouth.lineTo(9, 38);
    mouth.closeSubpath();
    painter.setBrush(kSocketMouth);
    painter.drawPath(mouth);
    painter.setPen(QPen(kGold, 1));
    for (int i = 0; i < 4; ++i)
        painter.drawLine(QPointF(11.5 + i * 3.3, 28), QPointF(11.5 + i * 3.3, 31));
}

void DrawChip(QPainter& painter) {
    painter.setPen(QPen(kGold, 2, Qt::SolidLine, Qt::FlatCap));
    for (int i = 0; i < 4; ++i) {
        const double offset = 27 + i * 5;
        painter.drawLine(QPointF(offset, 20), QPointF(offset, 24));          // top pins
        painter.drawLine(QPointF(offset, 44), QPointF(offset, 48));          // bottom pins
        painter.drawLine(QPointF(53, offset - 1), QPointF(49, offset - 1));  // right pins
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(kChip);
    painter.drawRoundedRect(QRectF(36, 23, 14, 22), 2, 2);
    painter.setBrush(kLed);
    painter.drawEllipse(QPointF(49, 19), 2.5, 2.5);
}

}  // namespace

QImage DrawAppIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / kGrid, size / kGrid);
    DrawTile(painter);
    DrawBoard(painter);
    DrawSocket(painter);
    DrawChip(painter);
    painter.end();
    return image;
}

QIcon AppIcon() {
    QIcon icon;
    for (const int size : kIconSizes)
        icon.addPixmap(QPixmap::fromImage(DrawAppIcon(size)));
    return icon;
}

}  // namespace qtui
