#pragma once
// What the files of TfrmZORMain share: its two painted boxes (the chart of
// the component page, the transfer animation) and the conversion of the
// core's UTF-8 texts.
#include <QPainter>
#include <QPixmap>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <string>
#include <vector>

#include "wizard/qt/artwork.h"
#include "wizard/qt/chart_painter.h"
#include "wizard/wizard.h"

namespace zor::qtui {

inline QString qs(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

// The paint box of the component page: paints the core's planned table.
class ChartBox : public QWidget {
  public:
    ChartBox(wizard::Wizard*& core, QWidget* parent) : QWidget(parent), core_(core) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        if (!core_)
            return;
        QPainter painter(this);
        drawAllocation(painter, core_->chartTable(), width(), height(), font(),
                       edgeColours(palette()));
    }

  private:
    wizard::Wizard*& core_;
};

// The transfer animation: our own clip, looped while active; the first frame
// stands still otherwise.
class AnimationBox : public QWidget {
  public:
    explicit AnimationBox(QWidget* parent) : QWidget(parent) {
        timer_.setInterval(1000 / ANIMATION_FPS);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            frame_ = (frame_ + 1) % ANIMATION_FRAMES;
            update();
        });
    }
    void setPlaying(bool on) {
        if (on && !timer_.isActive())
            timer_.start();
        if (!on)
            timer_.stop();
    }
    bool playing() const { return timer_.isActive(); }
    int frame() const { return frame_; }

  protected:
    void paintEvent(QPaintEvent*) override {
        if (frames_.empty()) {
            for (int i = 0; i < ANIMATION_FRAMES; ++i)
                frames_.push_back(QPixmap::fromImage(animationFrame(i)));
        }
        QPainter(this).drawPixmap(0, 0, frames_[frame_]);
    }

  private:
    QTimer timer_;
    int frame_ = 0;
    std::vector<QPixmap> frames_;
};

}  // namespace zor::qtui
