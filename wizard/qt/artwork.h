#pragma once
// The wizard's pictures and the transfer animation, all drawn in code so the
// program needs no image files. Texts are laid over them by the window.
#include <QImage>
#include <QPixmap>

namespace zor::qtui {

// 500 x 59 band above every page but the start page; light where the title
// and the page text go (x < 460), a small motif on the right.
QPixmap headerPicture();

// 498 x 313 start page background: a banner in the strip x < 160, plain and
// light to the right of it where the window writes the welcome text.
QPixmap startPicture();

// 32 x 32 page pictures: serial connector, firmware components, and the
// warning shown when the chronometer has not enough room.
QPixmap portIcon();
QPixmap componentsIcon();
QPixmap noSpaceIcon();

// Transfer animation: a computer sending packets down a cable to the
// chronometer. Loops from the last frame back to the first.
constexpr int ANIMATION_FRAMES = 26;
constexpr int ANIMATION_WIDTH = 272;
constexpr int ANIMATION_HEIGHT = 60;
constexpr int ANIMATION_FPS = 10;

// Frame index (taken modulo ANIMATION_FRAMES, negatives included), always the
// same image for the same index; ARGB32 premultiplied.
QImage animationFrame(int index);

}  // namespace zor::qtui
