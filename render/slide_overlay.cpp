#include "render/slide_overlay.h"

CaptionPlace PlaceCaption(const PixelRect& area, const PixelRect& picture, int32_t lineHeight) {
    const int32_t margin = lineHeight / 2;
    const int32_t pictureHeight = picture.Bottom - picture.Top;
    // The middle third, rounded outward: a caption touching it by a pixel covers it.
    const int32_t middleBottom = picture.Top + (2 * pictureHeight + 2) / 3;
    int32_t top = area.Bottom - margin - lineHeight;
    if (pictureHeight > 0 && top < middleBottom) top = middleBottom;
    if (top < area.Top || top + lineHeight > area.Bottom) return {false, 0};
    return {true, top};
}

int32_t CaptionLineHeight(const PixelRect& area) {
    const int32_t height = (area.Bottom - area.Top) / 20;
    return height < 12 ? 12 : (height > 40 ? 40 : height);
}

uint32_t FadeDurationMs(int32_t intervalMs) {
    if (intervalMs <= 0) return 0;
    const uint32_t half = static_cast<uint32_t>(intervalMs) / 2;
    return half < FadeMs ? half : FadeMs;
}

FadeFrame NextFadeFrame(uint32_t shown, uint32_t elapsedMs, uint32_t durationMs) {
    if (elapsedMs >= durationMs || shown >= FullyShown) return {0, FullyShown, true};
    const uint32_t wanted = static_cast<uint32_t>(static_cast<uint64_t>(elapsedMs) * FullyShown / durationMs);
    // Frames closer together than FadeLeastStep blend at alphas so small that their rounding
    // stalls low-contrast parts of the picture: they wait for the next tick instead.
    if (wanted < shown + FadeLeastStep) return {0, shown, false};
    // Blending at a over a screen that shows s of 255 of the slide shows s + (255 - s) * a / 255.
    const uint32_t left = FullyShown - shown;
    const uint32_t alpha = ((wanted - shown) * 255 + left / 2) / left;
    const uint32_t reached = shown + (left * alpha + 127) / 255;
    return {alpha, reached, false};
}
