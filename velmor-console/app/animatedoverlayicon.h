#ifndef VELMOR_CONSOLE_ANIMATEDOVERLAYICON_H
#define VELMOR_CONSOLE_ANIMATEDOVERLAYICON_H

#include <QImage>
#include <QList>
#include <QMovie>
#include <QObject>
#include <QPixmap>

// Draws the frames of an animation over a base image, each frame composed once: the movie loops, and every
// later loop takes the frames from the cache.
class AnimatedOverlayIcon : public QObject
{
    Q_OBJECT

public:
    AnimatedOverlayIcon(const QImage &base, const QString &movieFile, Qt::Alignment alignment, QObject *parent);
    ~AnimatedOverlayIcon() override;

    QMovie *movie() { return &m_movie; }
    int composedFrames() const { return int(m_frames.size()); }

Q_SIGNALS:
    void newFrame(const QPixmap &pixmap);

private Q_SLOTS:
    void updateFrame();

private:
    Q_DISABLE_COPY(AnimatedOverlayIcon)

    QImage m_base;
    QMovie m_movie;
    QList<QPixmap> m_frames;
    Qt::Alignment m_alignment;
};

#endif // VELMOR_CONSOLE_ANIMATEDOVERLAYICON_H
