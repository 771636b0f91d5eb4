#include "app/window_parts.h"

#include <QPainter>
#include <QStyle>

namespace sonavelt::app {

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

QSize ElidedLabel::sizeHint() const { return minimumSizeHint(); }

QSize ElidedLabel::minimumSizeHint() const {
  const QSize whole = QLabel::minimumSizeHint();
  return QSize(fontMetrics().averageCharWidth() * 12, whole.height());
}

QString ElidedLabel::ShownText() const {
  return fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width(),
                                  Qt::TextShowMnemonic);
}

void ElidedLabel::UpdateToolTip(const QString& shown) {
  const QString tip = shown == text() ? QString() : QString(text()).remove(QLatin1Char('&'));
  if (toolTip() != tip) setToolTip(tip);
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  UpdateToolTip(ShownText());
}

void ElidedLabel::paintEvent(QPaintEvent*) {
  const QString shown = ShownText();
  UpdateToolTip(shown);  // the text may have changed since the last resize
  QPainter painter(this);
  int flags = QStyle::visualAlignment(layoutDirection(), alignment());
  flags |= buddy() ? Qt::TextShowMnemonic : Qt::TextHideMnemonic;
  if (!style()->styleHint(QStyle::SH_UnderlineShortcut, nullptr, this)) flags |= Qt::TextHideMnemonic;
  style()->drawItemText(&painter, contentsRect(), flags, palette(), isEnabled(), shown,
                        foregroundRole());
}

BannerStrip::BannerStrip(QPixmap picture, int height, QWidget* parent)
    : QWidget(parent), picture_(std::move(picture)), height_(height) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize BannerStrip::sizeHint() const {
  return QSize(picture_.isNull() ? 600 : qRound(picture_.width() / picture_.devicePixelRatio()),
               height_);
}

QSize BannerStrip::minimumSizeHint() const { return QSize(height_, height_); }

void BannerStrip::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (picture_.isNull()) {
    painter.fillRect(rect(), palette().color(QPalette::Highlight));
    return;
  }
  const qreal dpr = picture_.devicePixelRatio();
  const int shown = std::min(width(), int(picture_.width() / dpr));
  painter.drawPixmap(QRect(0, 0, shown, height_), picture_,
                     QRect(0, 0, int(shown * dpr), picture_.height()));
  if (width() > shown) {
    painter.drawPixmap(QRect(shown, 0, width() - shown, height_), picture_,
                       QRect(picture_.width() - 1, 0, 1, picture_.height()));
  }
}

}  // namespace sonavelt::app
