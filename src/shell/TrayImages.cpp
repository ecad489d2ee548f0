// SPDX-License-Identifier: MIT
#include "TrayImages.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <numbers>

namespace {
struct TClockColours {
    QColor Face, Rim, Marks, Hands;
};

TClockColours ColoursOf(bool Active) {
    if (Active)
        return {QColor(24, 24, 24), QColor(70, 70, 70), QColor(200, 200, 200), QColor(255, 255, 255)};
    return {QColor(128, 128, 128), QColor(150, 150, 150), QColor(196, 196, 196), QColor(224, 224, 224)};
}

QPointF OnDial(QPointF Centre, double Radius, double Degrees) {
    const double radians = (Degrees - 90.0) * std::numbers::pi / 180.0;
    return {Centre.x() + Radius * std::cos(radians), Centre.y() + Radius * std::sin(radians)};
}

void DrawHands(QPainter& Painter, QPointF Centre, double Radius, const QColor& Colour) {
    QPen pen(Colour, std::max(1.2, Radius * 0.16), Qt::SolidLine, Qt::RoundCap);
    Painter.setPen(pen);
    Painter.drawLine(Centre, OnDial(Centre, Radius * 0.5, 300.0)); // hour hand near ten
    pen.setWidthF(std::max(1.0, Radius * 0.11));
    Painter.setPen(pen);
    Painter.drawLine(Centre, OnDial(Centre, Radius * 0.78, 60.0)); // minute hand near two
}
} // namespace

QImage DrawClockImage(int Size, bool Active) {
    QImage image(Size, Size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const TClockColours colours = ColoursOf(Active);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const double rim = std::max(1.0, Size / 16.0);
    const QRectF face(rim / 2, rim / 2, Size - rim, Size - rim);
    painter.setPen(QPen(colours.Rim, rim));
    painter.setBrush(colours.Face);
    painter.drawEllipse(face);
    const QPointF centre = face.center();
    const double radius = face.width() / 2 - rim;
    painter.setPen(QPen(colours.Marks, std::max(1.0, Size / 14.0), Qt::SolidLine, Qt::FlatCap));
    for (double degrees : {0.0, 90.0, 180.0, 270.0})
        painter.drawLine(OnDial(centre, radius * 0.72, degrees), OnDial(centre, radius * 0.95, degrees));
    DrawHands(painter, centre, radius, colours.Hands);
    return image;
}

QIcon TrayIconImage(int ImageIndex) {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48})
        icon.addPixmap(QPixmap::fromImage(DrawClockImage(size, ImageIndex == 0)));
    return icon;
}

QIcon ApplicationIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 256})
        icon.addPixmap(QPixmap::fromImage(DrawClockImage(size, true)));
    return icon;
}
