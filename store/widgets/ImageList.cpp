#include "store/widgets/ImageList.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <array>
#include <functional>

#include "store/LinkStatus.h"

namespace vornakle {

namespace {

// Every picture is drawn on a 16 x 16 canvas; the painter scales it.
constexpr int kDesignSize = 16;
constexpr std::array kRenderedSizes = {16, 20, 24, 32, 40, 48, 64};

const QColor kFolderYellow(0xF5, 0xC8, 0x42);
const QColor kFolderEdge(0xA0, 0x78, 0x10);
const QColor kBrowserBlue(0x1E, 0x6F, 0xD9);
const QColor kInvalidRed(0xD3, 0x2F, 0x2F);
const QColor kWarningYellow(0xFF, 0xD0, 0x30);
const QColor kMarkGrey(0x60, 0x60, 0x60);
const QColor kInformationGrey(0x78, 0x90, 0x9C);

using Drawing = std::function<void(QPainter&)>;

void DrawFolder(QPainter& painter) {
    painter.setPen(QPen(kFolderEdge, 0.8));
    painter.setBrush(kFolderYellow.darker(110));
    QPainterPath tab;
    tab.moveTo(1.5, 4.0);
    tab.lineTo(1.5, 2.5);
    tab.lineTo(6.0, 2.5);
    tab.lineTo(7.5, 4.0);
    tab.closeSubpath();
    painter.drawPath(tab);
    painter.setBrush(kFolderYellow);
    painter.drawRoundedRect(QRectF(1.5, 4.0, 13.0, 9.5), 1.0, 1.0);
}

void DrawQuestionMark(QPainter& painter) {
    QFont font("DejaVu Sans");
    font.setBold(true);
    font.setPixelSize(15);
    QPainterPath glyph;
    glyph.addText(0, 0, font, QStringLiteral("?"));
    const QRectF bounds = glyph.boundingRect();
    glyph.translate(8.0 - bounds.center().x(), 8.0 - bounds.center().y());
    painter.setPen(QPen(kFolderEdge, 1.0));
    painter.setBrush(kWarningYellow);
    painter.drawPath(glyph);
}

void DrawBrowser(QPainter& painter) {
    // A globe: the web.
    painter.setPen(QPen(kBrowserBlue.darker(140), 0.9));
    painter.setBrush(kBrowserBlue);
    painter.drawEllipse(QRectF(1.5, 1.5, 13.0, 13.0));
    painter.setPen(QPen(Qt::white, 0.9));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRectF(5.0, 1.5, 6.0, 13.0));
    painter.drawLine(QPointF(8.0, 1.5), QPointF(8.0, 14.5));
    painter.drawLine(QPointF(1.5, 8.0), QPointF(14.5, 8.0));
    painter.drawLine(QPointF(2.7, 4.8), QPointF(13.3, 4.8));
    painter.drawLine(QPointF(2.7, 11.2), QPointF(13.3, 11.2));
}

void DrawInvalid(QPainter& painter) {
    painter.setPen(QPen(kInvalidRed.darker(140), 0.9));
    painter.setBrush(kInvalidRed);
    painter.drawEllipse(QRectF(1.0, 1.0, 14.0, 14.0));
    painter.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(5.2, 5.2), QPointF(10.8, 10.8));
    painter.drawLine(QPointF(10.8, 5.2), QPointF(5.2, 10.8));
}

void DrawBeingTested(QPainter& painter) {
    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(1.0, 1.5, 14.0, 10.0), 3.0, 3.0);
    QPainterPath tail;
    tail.moveTo(4.0, 11.0);
    tail.lineTo(3.5, 15.0);
    tail.lineTo(8.0, 11.0);
    tail.closeSubpath();
    painter.setPen(QPen(QColor(0x55, 0x55, 0x55), 0.9));
    painter.setBrush(Qt::white);
    painter.drawPath(bubble.united(tail));
    painter.setPen(Qt::NoPen);
    painter.setBrush(kBrowserBlue);
    painter.drawEllipse(QRectF(7.1, 3.0, 1.9, 1.9));
    painter.drawRect(QRectF(7.2, 5.6, 1.7, 4.6));
}

void DrawWarning(QPainter& painter) {
    QPainterPath triangle;
    triangle.moveTo(8.0, 1.0);
    triangle.lineTo(15.2, 14.5);
    triangle.lineTo(0.8, 14.5);
    triangle.closeSubpath();
    painter.setPen(QPen(kFolderEdge, 0.9, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(kWarningYellow);
    painter.drawPath(triangle);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawRect(QRectF(7.2, 5.0, 1.6, 5.5));
    painter.drawEllipse(QRectF(7.1, 11.3, 1.8, 1.8));
}

// A grey "i": a link no check applies to, told apart from both the OK
// image and the warning sign.
void DrawInformation(QPainter& painter) {
    painter.setPen(QPen(kMarkGrey.darker(130), 0.9));
    painter.setBrush(kInformationGrey);
    painter.drawEllipse(QRectF(1.0, 1.0, 14.0, 14.0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(7.0, 3.2, 2.0, 2.0));
    painter.drawRect(QRectF(7.1, 6.6, 1.8, 6.2));
}

void DrawArrow(QPainter& painter, bool down) {
    QPainterPath arrow;
    if (down) {
        arrow.moveTo(4.0, 6.0);
        arrow.lineTo(12.0, 6.0);
        arrow.lineTo(8.0, 11.0);
    } else {
        arrow.moveTo(4.0, 11.0);
        arrow.lineTo(12.0, 11.0);
        arrow.lineTo(8.0, 6.0);
    }
    arrow.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(kMarkGrey);
    painter.drawPath(arrow);
}

QIcon RenderIcon(const Drawing& draw) {
    QIcon icon;
    for (int size : kRenderedSizes) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(static_cast<qreal>(size) / kDesignSize,
                      static_cast<qreal>(size) / kDesignSize);
        draw(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace

TImageList::TImageList() {
    icons_[kImageFolder] = RenderIcon(DrawFolder);
    icons_[kImageNotTested] = RenderIcon(DrawQuestionMark);
    icons_[kImageOk] = RenderIcon(DrawBrowser);
    icons_[kImageInvalid] = RenderIcon(DrawInvalid);
    icons_[kImageBeingTested] = RenderIcon(DrawBeingTested);
    icons_[kImageUnknown] = RenderIcon(DrawWarning);
    icons_[kImageSortAscending] = RenderIcon([](QPainter& painter) { DrawArrow(painter, true); });
    icons_[kImageSortDescending] = RenderIcon([](QPainter& painter) { DrawArrow(painter, false); });
    icons_[kImageNotChecked] = RenderIcon(DrawInformation);
}

const TImageList& TImageList::Shared() {
    // Never destroyed: pixmaps must not outlive the application object, and
    // the list lives as long as the program.
    static const TImageList* const list = new TImageList;
    return *list;
}

const QIcon& TImageList::Icon(int index) const {
    static const QIcon none;
    return index >= 0 && index < kImageCount ? icons_[index] : none;
}

int TImageList::Count() const {
    return kImageCount;
}

}  // namespace vornakle
