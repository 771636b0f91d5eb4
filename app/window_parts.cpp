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
  if (!picture_.isNull()) {
    // The waves start at 250 of the picture's 600 units, right of the name.
    const int start = picture_.width() * 250 / 600;
    tail_ = picture_.copy(start, 0, picture_.width() - start, picture_.height());
    tail_mirrored_ = QPixmap::fromImage(tail_.toImage().mirrored(true, false));
    tail_.setDevicePixelRatio(picture_.devicePixelRatio());
    tail_mirrored_.setDevicePixelRatio(picture_.devicePixelRatio());
  }
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
  painter.drawPixmap(QPointF(0, 0), picture_);
  const qreal tail_width = tail_.width() / dpr;
  bool mirrored = true;
  for (qreal x = picture_.width() / dpr; x < width() && tail_width > 0; x += tail_width) {
    painter.drawPixmap(QPointF(x, 0), mirrored ? tail_mirrored_ : tail_);
    mirrored = !mirrored;
  }
}

}  // namespace sonavelt::app
