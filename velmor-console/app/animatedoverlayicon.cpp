#include "animatedoverlayicon.h"

#include <QPainter>
#include <QStyle>

AnimatedOverlayIcon::AnimatedOverlayIcon(
    const QImage &base, const QString &movieFile, Qt::Alignment alignment, QObject *parent)
    : QObject(parent)
    , m_base(base)
    , m_movie(movieFile)
    , m_alignment(alignment)
{
    if (m_base.isNull() || !m_movie.isValid())
        return;
    connect(&m_movie, &QMovie::started, this, &AnimatedOverlayIcon::updateFrame);
    connect(&m_movie, &QMovie::frameChanged, this, &AnimatedOverlayIcon::updateFrame);
}

AnimatedOverlayIcon::~AnimatedOverlayIcon() = default;

void AnimatedOverlayIcon::updateFrame()
{
    const int n = m_movie.currentFrameNumber();
    if (n < 0)
        return;
    if (n == m_frames.size()) {
        QPixmap frame = m_movie.currentPixmap();
        if (frame.width() > m_base.width() || frame.height() > m_base.height())
            frame = frame.scaled(m_base.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
        QImage composed = m_base;
        QPainter painter(&composed);
        painter.drawPixmap(QStyle::alignedRect(Qt::LeftToRight, m_alignment, frame.size(), composed.rect()), frame);
        painter.end();
        m_frames.append(QPixmap::fromImage(composed));
    }
    // A frame beyond the cache (a movie that skipped one) is shown without being kept.
    if (n >= m_frames.size())
        return;
    Q_EMIT newFrame(m_frames.at(n));
}
