// The form's pictures: the bitmap resources scaled to their controls, the
// keyed icons on the button face, and the labels written on a picture given
// its pixels as their background.
#include "wizard/win32/main_form.h"

#include <cstdint>
#include <vector>

#include "wizard/win32/resource_ids.h"

namespace zor::win32ui {

using wizard::Ctl;
using wizard::Kind;

namespace {

int resourceOf(Ctl picture) {
    switch (picture) {
        case Ctl::imgTop:
            return ZOR_RES_HEADER;
        case Ctl::imgStart:
            return ZOR_RES_START;
        case Ctl::imgPortaCom:
            return ZOR_RES_PORT;
        case Ctl::imgComponenti:
            return ZOR_RES_COMPONENTS;
        default:
            return ZOR_RES_NOSPACE;
    }
}

bool isKeyed(int resource) {
    return resource == ZOR_RES_PORT || resource == ZOR_RES_COMPONENTS ||
           resource == ZOR_RES_NOSPACE;
}

// A bitmap resource at width x height pixels, with the magenta of the keyed
// icons turned into the button face the pages are painted with.
HBITMAP loadPicture(HINSTANCE instance, int resource, int width, int height) {
    auto* source = static_cast<HBITMAP>(::LoadImageW(instance, MAKEINTRESOURCEW(resource),
                                                     IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!source)
        return nullptr;
    BITMAP bm{};
    ::GetObjectW(source, sizeof bm, &bm);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = bm.bmWidth;
    info.bmiHeader.biHeight = -bm.bmHeight;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<uint32_t> pixels(static_cast<size_t>(bm.bmWidth) * bm.bmHeight);
    HDC screen = ::GetDC(nullptr);
    ::GetDIBits(screen, source, 0, bm.bmHeight, pixels.data(), &info, DIB_RGB_COLORS);
    ::DeleteObject(source);
    if (isKeyed(resource)) {
        const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
        const uint32_t faceXrgb = (static_cast<uint32_t>(GetRValue(face)) << 16) |
                                  (static_cast<uint32_t>(GetGValue(face)) << 8) | GetBValue(face);
        for (uint32_t& p : pixels) {
            if ((p & 0xFFFFFFu) == 0xFF00FFu)
                p = faceXrgb;
        }
    }
    HBITMAP picture = ::CreateCompatibleBitmap(screen, width, height);
    HDC dc = ::CreateCompatibleDC(screen);
    HGDIOBJ old = ::SelectObject(dc, picture);
    ::SetStretchBltMode(dc, width == bm.bmWidth && height == bm.bmHeight ? COLORONCOLOR : HALFTONE);
    ::SetBrushOrgEx(dc, 0, 0, nullptr);
    ::StretchDIBits(dc, 0, 0, width, height, 0, 0, bm.bmWidth, bm.bmHeight, pixels.data(), &info,
                    DIB_RGB_COLORS, SRCCOPY);
    ::SelectObject(dc, old);
    ::DeleteDC(dc);
    ::ReleaseDC(nullptr, screen);
    return picture;
}

}  // namespace

void TfrmZORMain::loadPictures() {
    for (Item& item : items_) {
        if (!item.def || item.def->kind != Kind::Picture || !item.hwnd)
            continue;
        const int index = static_cast<int>(item.def->id);
        pictures_[index] =
            loadPicture(instance_, resourceOf(item.def->id), item.bounds.right - item.bounds.left,
                        item.bounds.bottom - item.bounds.top);
        if (pictures_[index])
            ::SendMessageW(item.hwnd, STM_SETIMAGE, IMAGE_BITMAP,
                           reinterpret_cast<LPARAM>(pictures_[index]));
    }
    // Labels written on a picture take their background from it, so that
    // they look transparent and still repaint cleanly when their text changes.
    for (Item& label : items_) {
        if (!label.def || (label.def->kind != Kind::Label && label.def->kind != Kind::CheckBox))
            continue;
        for (const Item& picture : items_) {
            if (!picture.def || picture.def->kind != Kind::Picture ||
                picture.def->parent != label.def->parent || picture.def->page != label.def->page)
                continue;
            RECT overlap;
            const HBITMAP bitmap = pictures_[static_cast<int>(picture.def->id)];
            if (bitmap && ::IntersectRect(&overlap, &label.bounds, &picture.bounds)) {
                label.backdrop = ::CreatePatternBrush(bitmap);
                label.backdropOrigin = {picture.bounds.left - label.bounds.left,
                                        picture.bounds.top - label.bounds.top};
                break;
            }
        }
    }
}

}  // namespace zor::win32ui
